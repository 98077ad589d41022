// Test helpers for the normal format: a stream builder with the emission
// primitives of the compressor, and a plain reference decoder written straight
// from the format's definition (a growing history list, one field at a time) that also records the
// tokens it read, so that tests can look at the encoder's choices.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qpx::codec::testing {

// Builds streams field by field, reserving nibble and bit words at first need.
class StreamBuilder {
public:
    StreamBuilder& nibble(unsigned v) {
        if (npos_ == 0) {
            nword_at_ = bytes_.size();
            bytes_.insert(bytes_.end(), 4, 0);
        }
        bytes_[nword_at_ + npos_ / 8] |= static_cast<std::uint8_t>((v & 15u) << (npos_ % 8));
        npos_ = (npos_ + 4) % 32;
        return *this;
    }
    StreamBuilder& bit(unsigned v) {
        if (bfree_ == 0) {
            bword_at_ = bytes_.size();
            bytes_.insert(bytes_.end(), 4, 0);
            bfree_ = 32;
        }
        const unsigned pos = 32 - bfree_;
        bytes_[bword_at_ + pos / 8] |= static_cast<std::uint8_t>((v & 1u) << (pos % 8));
        --bfree_;
        return *this;
    }
    StreamBuilder& byte(unsigned v) {
        bytes_.push_back(static_cast<std::uint8_t>(v));
        return *this;
    }
    StreamBuilder& bytes(std::span<const std::uint8_t> b) {
        bytes_.insert(bytes_.end(), b.begin(), b.end());
        return *this;
    }
    // A literal run of 25..280 bytes (code 15, bits 1 0, byte a - 25).
    StreamBuilder& long_literals(std::span<const std::uint8_t> b) {
        nibble(15).bit(1).bit(0).byte(static_cast<unsigned>(b.size() - 25));
        return bytes(b);
    }
    // A match of 29..283 bytes with a short selected distance (0..255).
    StreamBuilder& long_match(unsigned len, unsigned dist) {
        return nibble(15).bit(1).bit(1).byte(len - 29).bit(0).byte(dist);
    }
    StreamBuilder& end() { return nibble(15).bit(1).bit(1).byte(255); }

    const std::vector<std::uint8_t>& data() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t nword_at_ = 0;
    unsigned npos_ = 0;
    std::size_t bword_at_ = 0;
    unsigned bfree_ = 0;
};

struct Token {
    bool literal;        // a literal run, else a match
    unsigned code;       // the code nibble
    unsigned length;     // literal count or match length
    unsigned distance;   // matches: history entries back
    std::size_t at;      // output position where the token begins
};

struct RefResult {
    int result;                      // decoded length, -1 or -2
    std::vector<std::uint8_t> out;   // the decoded bytes so far
    std::vector<Token> tokens;
};

// The format's decoder as defined, with the bounds: a field past the input, or a
// token that would take the output beyond `limit`, gives -1.
inline RefResult reference_decode(std::span<const std::uint8_t> in, std::size_t limit = 32768) {
    RefResult r{-1, {}, {}};
    std::size_t rp = 0;
    std::uint32_t nres = 0, bres = 0;
    unsigned nleft = 0, bleft = 0;
    bool fail = false;
    auto word = [&]() -> std::uint32_t {
        if (in.size() - rp < 4) {
            fail = true;
            return 0;
        }
        std::uint32_t w = in[rp] | in[rp + 1] << 8 | in[rp + 2] << 16 |
                          static_cast<std::uint32_t>(in[rp + 3]) << 24;
        rp += 4;
        return w;
    };
    auto nibble = [&]() -> unsigned {
        if (fail) return 0;
        if (nleft == 0) {
            nres = word();
            if (fail) return 0;
            nleft = 8;
        }
        unsigned v = nres & 15;
        nres >>= 4;
        --nleft;
        return v;
    };
    auto bit = [&]() -> unsigned {
        if (fail) return 0;
        if (bleft == 0) {
            bres = word();
            if (fail) return 0;
            bleft = 32;
        }
        unsigned v = bres & 1;
        bres >>= 1;
        --bleft;
        return v;
    };
    auto byte = [&]() -> unsigned {
        if (fail) return 0;
        if (rp >= in.size()) {
            fail = true;
            return 0;
        }
        return in[rp++];
    };
    auto longdist = [&]() -> unsigned {
        unsigned n = nibble();
        if (n != 0) return n * 256 + byte();
        unsigned m = nibble();
        return (16 + m) * 256 + byte();
    };
    auto seldist = [&]() -> unsigned { return bit() ? longdist() : byte(); };

    std::vector<std::uint16_t> history;
    for (;;) {
        unsigned code = nibble();
        unsigned len = 0, dist = 0, lit = 0;
        switch (code) {
            case 0: len = 3; dist = byte(); break;
            case 1: len = 4; dist = byte(); break;
            case 2: len = 5; dist = byte(); break;
            case 3: len = 3; dist = 256 + byte(); break;
            case 4: {
                unsigned n = nibble();
                if (n < 2) {
                    len = 3 + n;
                } else {
                    len = 3;
                    dist = n * 256 + byte();
                }
                break;
            }
            case 5: len = 4; dist = longdist(); break;
            case 6: len = 5; dist = longdist(); break;
            case 7: len = 6; dist = seldist(); break;
            case 8: len = 7 + bit(); dist = seldist(); break;
            case 9: {
                unsigned b1 = bit(), b2 = bit();
                len = 9 + 2 * b1 + b2;
                dist = seldist();
                break;
            }
            case 10: lit = 1; break;
            case 11: lit = 2; break;
            case 12: lit = 3 + bit(); break;
            case 13: {
                unsigned b1 = bit(), b2 = bit();
                lit = 5 + 2 * b1 + b2;
                break;
            }
            case 14: lit = 9 + nibble(); break;
            default: {
                if (bit() == 0) {
                    len = 13 + nibble();
                    dist = seldist();
                } else {
                    unsigned c = bit();
                    unsigned v = byte();
                    if (fail) break;
                    if (c == 0) {
                        lit = 25 + v;
                    } else if (v == 255) {
                        r.result = static_cast<int>(r.out.size());
                        return r;
                    } else {
                        len = 29 + v;
                        dist = seldist();
                    }
                }
                break;
            }
        }
        if (fail) {
            r.result = -1;
            return r;
        }
        const std::size_t at = r.out.size();
        if (lit) {
            if (in.size() - rp < lit || limit - at < lit) {
                r.result = -1;
                return r;
            }
            r.tokens.push_back({true, code, lit, 0, at});
            for (unsigned i = 0; i < lit; ++i) {
                history.push_back(static_cast<std::uint16_t>(r.out.size()));
                r.out.push_back(in[rp++]);
            }
        } else {
            if (dist >= history.size()) {
                r.result = -2;
                return r;
            }
            std::size_t src = history[history.size() - 1 - dist];
            if (limit - at < len) {
                r.result = -1;
                return r;
            }
            r.tokens.push_back({false, code, len, dist, at});
            history.push_back(static_cast<std::uint16_t>(at));
            for (unsigned i = 0; i < len; ++i) r.out.push_back(r.out[src + i]);
        }
    }
}


// The reference compressor, one step at a time, over a block followed by two
// readable bytes `behind0`, `behind1` (which the reference reads). Used to check
// that the real compressor is bit-exact and that those bytes never matter.
inline std::vector<std::uint8_t> reference_compress(std::span<const std::uint8_t> block,
                                                    std::uint8_t behind0 = 0, std::uint8_t behind1 = 0) {
    const std::size_t len = block.size();
    std::vector<std::uint8_t> in(block.begin(), block.end());
    in.push_back(behind0);
    in.push_back(behind1);
    std::vector<std::uint8_t> out(len + 298, 0);
    std::vector<std::uint16_t> newest(8192, 0xFFFF), previous(8192, 0xFFFF), token(32768, 0);
    std::size_t cur = 0, nword = 0, bword = 0;
    unsigned npos = 0, bfree = 0;
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    auto get32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(out[at] | out[at + 1] << 8 | out[at + 2] << 16) |
               static_cast<std::uint32_t>(out[at + 3]) << 24;
    };
    auto nibble = [&](unsigned v) {
        if (npos == 0) {
            nword = cur;
            put32(cur, 0);
            cur += 4;
        }
        put32(nword, get32(nword) | (v << npos));
        npos = npos == 28 ? 0 : npos + 4;
    };
    auto bits = [&](unsigned n, std::uint32_t v) {  // bits(n, v)
        if (bfree != 0) put32(bword, get32(bword) | (v << (32 - bfree)));
        if (n > bfree) {
            bword = cur;
            put32(cur, v >> bfree);
            cur += 4;
            n -= bfree;
            bfree = 32;
        }
        bfree -= n;
    };
    auto byte = [&](unsigned v) { out[cur++] = static_cast<std::uint8_t>(v); };
    auto literal_run = [&](std::size_t end, std::size_t a) {
        if (a == 1) nibble(10);
        else if (a == 2) nibble(11);
        else if (a <= 4) { nibble(12); bits(1, static_cast<unsigned>(a - 3)); }
        else if (a <= 8) { nibble(13); bits(1, static_cast<unsigned>((a - 5) / 2)); bits(1, static_cast<unsigned>((a - 5) % 2)); }
        else if (a <= 24) { nibble(14); nibble(static_cast<unsigned>(a - 9)); }
        else { nibble(15); bits(2, 1); byte(static_cast<unsigned>(a - 25)); }
        for (std::size_t i = end - a; i < end; ++i) byte(in[i]);
    };
    auto long_d = [&](unsigned d) {
        if (d <= 4095) { nibble(d / 256); byte(d % 256); }
        else { nibble(0); nibble((d - 4096) / 256); byte(d % 256); }
    };
    auto dist_part = [&](unsigned d) {
        bits(1, d >= 256 ? 1 : 0);
        if (d <= 255) byte(d); else long_d(d);
    };
    auto match = [&](unsigned L, unsigned D) {
        if (L == 3 && D == 0) { nibble(4); nibble(0); }
        else if (L == 4 && D == 0) { nibble(4); nibble(1); }
        else if (L == 3 && D <= 255) { nibble(0); byte(D); }
        else if (L == 4 && D <= 255) { nibble(1); byte(D); }
        else if (L == 5 && D <= 255) { nibble(2); byte(D); }
        else if (L == 3 && D <= 511) { nibble(3); byte(D - 256); }
        else if (L == 3) { nibble(4); nibble(D / 256); byte(D % 256); }
        else if (L == 4) { nibble(5); long_d(D); }
        else if (L == 5) { nibble(6); long_d(D); }
        else if (L == 6) { nibble(7); dist_part(D); }
        else if (L <= 8) { nibble(8); bits(1, L - 7); dist_part(D); }
        else if (L <= 12) { nibble(9); bits(1, (L - 9) / 2); bits(1, (L - 9) % 2); dist_part(D); }
        else if (L <= 28) { nibble(15); bits(1, 0); nibble(L - 13); dist_part(D); }
        else { nibble(15); bits(2, 3); byte(L - 29); dist_part(D); }
    };
    std::size_t pending = 0, p = 0;
    unsigned next_token = 0;
    while (p < len) {
        const unsigned T = next_token++;
        token[p] = static_cast<std::uint16_t>(T);
        const unsigned h = (in[p] + 16u * in[p + 1] + 256u * in[p + 2]) % 8192;
        const unsigned c1 = newest[h], c2 = previous[h];
        newest[h] = static_cast<std::uint16_t>(p);
        previous[h] = static_cast<std::uint16_t>(c1);
        bool is_match = false;
        std::size_t L = 0;
        unsigned D = 0;
        if (c1 != 0xFFFF && T - token[c1] - 1 < 8192) {
            const unsigned d1 = T - token[c1] - 1;
            const std::size_t lim = std::min(p + 282, len);
            std::size_t L1 = 0;
            while (p + L1 < lim && in[p + L1] == in[c1 + L1]) ++L1;
            L = L1;
            D = d1;
            if (c2 != 0xFFFF && in[c2 + L1] == in[p + L1] && T - token[c2] - 1 < 8192) {
                std::size_t L2 = 0;
                while (p + L2 < lim && in[p + L2] == in[c2 + L2]) ++L2;
                if (L2 > L1) {
                    L = L2;
                    D = T - token[c2] - 1;
                }
            }
            is_match = !(L < 3 || (L == 3 && D >= 4096));
        }
        if (is_match) {
            if (pending) literal_run(p, pending);
            match(static_cast<unsigned>(L), D);
            p += L;
            pending = 0;
        } else {
            ++pending;
            ++p;
            if (pending == 279) {
                literal_run(p, 279);
                pending = 0;
            }
        }
        if (cur > len - 1) return std::vector<std::uint8_t>(block.begin(), block.end());
    }
    if (pending) literal_run(p, pending);
    nibble(15);
    bits(2, 3);
    byte(255);
    if (cur > len - 1 || len == 0) return std::vector<std::uint8_t>(block.begin(), block.end());
    out.resize(cur);
    return out;
}

}  // namespace qpx::codec::testing
