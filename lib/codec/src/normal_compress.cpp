// Normal block compressor: one pass, token distances, bit-exact with the
// reference algorithm the format was defined with.
//
// Differences from that reference:
// - The stream state (cursor, nibble and bit words, pending literals) lives in
//   a local emitter per call and the work area in the object, not in
//   process-wide variables: any number of objects compress at the same time.
// - The reference reads two bytes behind the block (the hash of the last two
//   positions and one comparison). Those reads cannot change the output: at
//   the last two positions at most 2 bytes remain, so every candidate there is
//   shorter than 3 and refused, and the hash entries made there are never
//   consulted again; the comparison in[p + L1] with p + L1 = len only decides
//   whether a second candidate is measured, which then cannot be longer. So
//   this implementation skips them and never reads past the block; its output
//   is the reference output for every content of the two bytes.
#include <algorithm>
#include <bit>
#include <cstring>

#include "qpx/codec/codec.h"

namespace qpx::codec {
namespace {

constexpr std::size_t kHashEntries = 8192;
constexpr std::uint16_t kEmpty = 0xFFFF;
constexpr std::size_t kMaxMatch = 282;
constexpr std::size_t kMaxDistance = 8192;     // token distances 0..8191
constexpr std::size_t kFlushLiterals = 279;
constexpr std::size_t kOutSlack = 298;         // output area: len + 298

inline void store32(std::uint8_t* p, std::uint32_t v) {
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
    std::memcpy(p, &v, 4);
}

inline std::uint64_t load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Length of the common run of a (earlier) and b, at most max.
inline std::size_t match_length(const std::uint8_t* a, const std::uint8_t* b, std::size_t max) {
    std::size_t k = 0;
    if constexpr (std::endian::native == std::endian::little) {
        while (k + 8 <= max) {
            const std::uint64_t x = load64(a + k) ^ load64(b + k);
            if (x != 0) return k + static_cast<std::size_t>(std::countr_zero(x)) / 8;
            k += 8;
        }
    }
    while (k < max && a[k] == b[k]) ++k;
    return k;
}

// The emission primitives, with their state for one call.
class Emitter {
public:
    explicit Emitter(std::uint8_t* out) : out_(out) {}

    std::size_t size() const { return cur_; }

    void nibble(unsigned v) {
        if (npos_ == 0) {  // reserve a new word at the cursor
            nword_at_ = cur_;
            nword_ = 0;
            cur_ += 4;
        }
        nword_ |= static_cast<std::uint32_t>(v) << npos_;
        store32(out_ + nword_at_, nword_);
        npos_ = (npos_ + 4) & 31;
    }

    // bits(1, v); bits(2, v) is two of these, lowest bit first.
    void bit(unsigned v) {
        if (bfree_ == 0) {
            bword_at_ = cur_;
            bword_ = 0;
            cur_ += 4;
            bfree_ = 32;
        }
        bword_ |= static_cast<std::uint32_t>(v & 1) << (32 - bfree_);
        store32(out_ + bword_at_, bword_);
        --bfree_;
    }

    void byte(unsigned v) { out_[cur_++] = static_cast<std::uint8_t>(v); }

    void literals(const std::uint8_t* src, std::size_t a) {
        if (a == 1) {
            nibble(10);
        } else if (a == 2) {
            nibble(11);
        } else if (a <= 4) {
            nibble(12);
            bit(static_cast<unsigned>(a - 3));
        } else if (a <= 8) {
            nibble(13);
            bit(static_cast<unsigned>((a - 5) >> 1));
            bit(static_cast<unsigned>((a - 5) & 1));
        } else if (a <= 24) {
            nibble(14);
            nibble(static_cast<unsigned>(a - 9));
        } else {  // 25..279
            nibble(15);
            bit(1);
            bit(0);
            byte(static_cast<unsigned>(a - 25));
        }
        std::memcpy(out_ + cur_, src, a);
        cur_ += a;
    }

    void long_distance(unsigned d) {
        if (d <= 4095) {
            nibble(d >> 8);
        } else {
            nibble(0);
            nibble((d - 4096) >> 8);
        }
        byte(d & 255);
    }

    void distance_part(unsigned d) {
        if (d < 256) {
            bit(0);
            byte(d);
        } else {
            bit(1);
            long_distance(d);
        }
    }

    void match(unsigned len, unsigned d) {
        switch (len) {
            case 3:
                if (d == 0) {
                    nibble(4);
                    nibble(0);
                } else if (d < 256) {
                    nibble(0);
                    byte(d);
                } else if (d < 512) {
                    nibble(3);
                    byte(d - 256);
                } else {  // 512..4095; 4096 and more were refused
                    nibble(4);
                    nibble(d >> 8);
                    byte(d & 255);
                }
                return;
            case 4:
                if (d == 0) {
                    nibble(4);
                    nibble(1);
                } else if (d < 256) {
                    nibble(1);
                    byte(d);
                } else {
                    nibble(5);
                    long_distance(d);
                }
                return;
            case 5:
                if (d < 256) {
                    nibble(2);
                    byte(d);
                } else {
                    nibble(6);
                    long_distance(d);
                }
                return;
            case 6:
                nibble(7);
                break;
            case 7:
            case 8:
                nibble(8);
                bit(len - 7);
                break;
            case 9:
            case 10:
            case 11:
            case 12:
                nibble(9);
                bit((len - 9) >> 1);
                bit((len - 9) & 1);
                break;
            default:
                if (len <= 28) {
                    nibble(15);
                    bit(0);
                    nibble(len - 13);
                } else {  // 29..282
                    nibble(15);
                    bit(1);
                    bit(1);
                    byte(len - 29);
                }
                break;
        }
        distance_part(d);
    }

    void end() {
        nibble(15);
        bit(1);
        bit(1);
        byte(255);
    }

private:
    std::uint8_t* out_;
    std::size_t cur_ = 0;
    std::size_t nword_at_ = 0;
    std::uint32_t nword_ = 0;
    unsigned npos_ = 0;  // next nibble position: 0, 4, ..., 28
    std::size_t bword_at_ = 0;
    std::uint32_t bword_ = 0;
    unsigned bfree_ = 0;  // bits still free in the bit word
};

}  // namespace

NormalCompressor::NormalCompressor() : hash_(2 * kHashEntries), tokens_(kNormalMaxOutput) {}

std::size_t NormalCompressor::compress(std::span<const std::uint8_t> block,
                                       std::span<std::uint8_t> out) {
    const std::size_t len = block.size();
    // Positions and token numbers are 16-bit; an output area smaller than the
    // Part's len + 298 bytes could be overrun. Both: store the block as it is.
    if (len > kNormalMaxOutput || out.size() < len + kOutSlack) return len;

    const std::uint8_t* const in = block.data();
    std::uint16_t* const hash = hash_.data();
    std::uint16_t* const tokens = tokens_.data();
    std::fill(hash_.begin(), hash_.end(), kEmpty);

    Emitter e(out.data());
    std::size_t pending = 0;
    std::uint32_t next_token = 0;
    std::size_t p = 0;

    while (p < len) {
        const std::uint32_t t = next_token++;
        tokens[p] = static_cast<std::uint16_t>(t);

        std::size_t L = 0;
        std::uint32_t D = 0;
        if (p + 2 < len) {
            const std::size_t h = (in[p] + 16u * in[p + 1] + 256u * in[p + 2]) & (kHashEntries - 1);
            const std::uint16_t c1 = hash[2 * h];
            const std::uint16_t c2 = hash[2 * h + 1];
            hash[2 * h] = static_cast<std::uint16_t>(p);
            hash[2 * h + 1] = c1;
            if (c1 != kEmpty) {
                const std::uint32_t d1 = t - tokens[c1] - 1;
                if (d1 < kMaxDistance) {
                    const std::size_t max = std::min(kMaxMatch, len - p);
                    const std::size_t l1 = match_length(in + c1, in + p, max);
                    L = l1;
                    D = d1;
                    // The second candidate can only win when the first stopped
                    // short of max, so in[p + l1] lies inside the block.
                    if (c2 != kEmpty && l1 < max && in[c2 + l1] == in[p + l1]) {
                        const std::uint32_t d2 = t - tokens[c2] - 1;
                        if (d2 < kMaxDistance) {
                            const std::size_t l2 = match_length(in + c2, in + p, max);
                            if (l2 > l1) {
                                L = l2;
                                D = d2;
                            }
                        }
                    }
                }
            }
        }
        // else: one of the last two positions; see the note at the top.

        if (L > 3 || (L == 3 && D < 4096)) {
            if (pending != 0) e.literals(in + p - pending, pending);
            e.match(static_cast<unsigned>(L), D);
            p += L;
            pending = 0;
        } else {
            ++pending;
            ++p;
            if (pending == kFlushLiterals) {
                e.literals(in + p - pending, pending);
                pending = 0;
            }
        }
        if (e.size() >= len) return len;
    }
    if (pending != 0) e.literals(in + p - pending, pending);
    e.end();
    return e.size() < len ? e.size() : len;
}

}  // namespace qpx::codec
