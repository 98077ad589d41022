// Normal-compression block decoder.
//
// Bounds: checking the output and read positions only after each token (as
// the format's first decoder did) lets a crafted token write up to 283 bytes
// past 32,768 and lets reservoir words and literal runs read past the payload. Here every field read
// is checked against the payload before it is taken and every token's length is
// checked against the output before anything is written, so the decoder never
// reads past `payload` and never writes past `out` (or past 32,768 bytes). The
// history is a ring on the stack (33 KB) of more entries than the farthest
// distance (8,191) reaches; its entry count is bounded by the output length.
#include "qpx/codec/codec.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace qpx::codec {
namespace {

// Distances reach 8,191 entries back. The ring holds twice that, so that the
// history entries of a literal run can be written 8 at a time: the entries
// written beyond the run are slots of future entries or of entries more than
// 8,191 back, never ones a distance can still name.
constexpr std::size_t kRing = 16384;
constexpr std::size_t kRingMask = kRing - 1;
constexpr std::size_t kHistChunk = 8;
constexpr std::size_t kMaxLiteralRun = 280;   // 25 + 255
constexpr std::size_t kWild = 16;             // chunk of the unchecked copies

inline std::uint32_t load32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
    return v;
}

}  // namespace

int normal_expand(std::span<const std::uint8_t> payload, std::span<std::uint8_t> out) {
    const std::uint8_t* ip = payload.data();
    const std::uint8_t* const iend = ip + payload.size();
    std::uint8_t* const obase = out.data();
    const std::size_t ocap = out.size();
    const std::size_t olimit = std::min(ocap, kNormalMaxOutput);
    std::size_t op = 0;

    // History ring plus a tail so that a literal run's entries are written in
    // one straight loop; the part that lands in the tail is copied to the front.
    // Not initialised: only entries already appended are ever read.
    std::uint16_t hist[kRing + kMaxLiteralRun + kHistChunk];
    std::size_t hcount = 0;  // entries appended so far (<= op)

    std::uint32_t nword = 0;
    unsigned nleft = 0;  // nibbles left in nword
    std::uint32_t bword = 0;
    unsigned bleft = 0;  // bits left in bword

#define QPX_FAIL_IF(cond) \
    do {                  \
        if (cond) [[unlikely]] return kExpandLimitExceeded; \
    } while (0)
#define QPX_NIBBLE(dst)                              \
    do {                                             \
        if (nleft == 0) {                            \
            QPX_FAIL_IF(iend - ip < 4);              \
            nword = load32(ip);                      \
            ip += 4;                                 \
            nleft = 8;                               \
        }                                            \
        (dst) = nword & 15u;                         \
        nword >>= 4;                                 \
        --nleft;                                     \
    } while (0)
#define QPX_BIT(dst)                                 \
    do {                                             \
        if (bleft == 0) {                            \
            QPX_FAIL_IF(iend - ip < 4);              \
            bword = load32(ip);                      \
            ip += 4;                                 \
            bleft = 32;                              \
        }                                            \
        (dst) = bword & 1u;                          \
        bword >>= 1;                                 \
        --bleft;                                     \
    } while (0)
#define QPX_BYTE(dst)                                \
    do {                                             \
        QPX_FAIL_IF(ip == iend);                     \
        (dst) = *ip++;                               \
    } while (0)
    // Long distance: nibble n; n != 0: n*256 + byte; n == 0: (16 + nibble)*256 + byte.
#define QPX_LONGDIST(dst)                            \
    do {                                             \
        unsigned n_, b_;                             \
        QPX_NIBBLE(n_);                              \
        if (n_ == 0) {                               \
            QPX_NIBBLE(n_);                          \
            n_ += 16;                                \
        }                                            \
        QPX_BYTE(b_);                                \
        (dst) = n_ * 256u + b_;                      \
    } while (0)
#define QPX_SELDIST(dst)                             \
    do {                                             \
        unsigned f_;                                 \
        QPX_BIT(f_);                                 \
        if (f_) {                                    \
            QPX_LONGDIST(dst);                       \
        } else {                                     \
            QPX_BYTE(dst);                           \
        }                                            \
    } while (0)

    for (;;) {
        unsigned code;
        QPX_NIBBLE(code);
        unsigned len = 0;
        unsigned dist = 0;
        unsigned lit = 0;
        switch (code) {
            case 0: len = 3; QPX_BYTE(dist); break;
            case 1: len = 4; QPX_BYTE(dist); break;
            case 2: len = 5; QPX_BYTE(dist); break;
            case 3: len = 3; QPX_BYTE(dist); dist += 256; break;
            case 4: {
                unsigned n;
                QPX_NIBBLE(n);
                if (n < 2) {
                    len = 3 + n;
                    dist = 0;
                } else {
                    unsigned b;
                    QPX_BYTE(b);
                    len = 3;
                    dist = n * 256 + b;
                }
                break;
            }
            case 5: len = 4; QPX_LONGDIST(dist); break;
            case 6: len = 5; QPX_LONGDIST(dist); break;
            case 7: len = 6; QPX_SELDIST(dist); break;
            case 8: {
                unsigned b;
                QPX_BIT(b);
                len = 7 + b;
                QPX_SELDIST(dist);
                break;
            }
            case 9: {
                unsigned b1, b2;
                QPX_BIT(b1);
                QPX_BIT(b2);
                len = 9 + 2 * b1 + b2;
                QPX_SELDIST(dist);
                break;
            }
            case 10: lit = 1; break;
            case 11: lit = 2; break;
            case 12: {
                unsigned b;
                QPX_BIT(b);
                lit = 3 + b;
                break;
            }
            case 13: {
                unsigned b1, b2;
                QPX_BIT(b1);
                QPX_BIT(b2);
                lit = 5 + 2 * b1 + b2;
                break;
            }
            case 14: {
                unsigned n;
                QPX_NIBBLE(n);
                lit = 9 + n;
                break;
            }
            default: {  // 15
                unsigned b;
                QPX_BIT(b);
                if (b == 0) {
                    unsigned n;
                    QPX_NIBBLE(n);
                    len = 13 + n;
                    QPX_SELDIST(dist);
                } else {
                    unsigned c, v;
                    QPX_BIT(c);
                    QPX_BYTE(v);
                    if (c == 0) {
                        lit = 25 + v;
                    } else if (v == 255) {
                        return static_cast<int>(op);
                    } else {
                        len = 29 + v;
                        QPX_SELDIST(dist);
                    }
                }
                break;
            }
        }

        if (lit != 0) {
            // Literal run: bytes straight from the read position.
            QPX_FAIL_IF(static_cast<std::size_t>(iend - ip) < lit);
            QPX_FAIL_IF(olimit - op < lit);
            std::uint8_t* dst = obase + op;
            if (static_cast<std::size_t>(iend - ip) >= lit + kWild && ocap - op >= lit + kWild) {
                for (unsigned i = 0; i < lit; i += kWild) std::memcpy(dst + i, ip + i, kWild);
            } else {
                std::memcpy(dst, ip, lit);
            }
            ip += lit;
            const std::size_t h = hcount & kRingMask;
            for (unsigned i = 0; i < lit; i += kHistChunk) {
                for (unsigned j = 0; j < kHistChunk; ++j) hist[h + i + j] = static_cast<std::uint16_t>(op + i + j);
            }
            if (h + lit > kRing) std::memcpy(hist, hist + kRing, (h + lit - kRing) * sizeof hist[0]);
            hcount += lit;
            op += lit;
            continue;
        }

        // Match: distance counts history entries back from the newest.
        if (dist >= hcount) [[unlikely]] return kExpandBadDistance;
        const std::size_t src = hist[(hcount - 1 - dist) & kRingMask];
        QPX_FAIL_IF(olimit - op < len);
        hist[hcount & kRingMask] = static_cast<std::uint16_t>(op);
        ++hcount;
        std::uint8_t* dst = obase + op;
        const std::uint8_t* from = obase + src;
        const std::size_t off = op - src;  // >= 1: every entry lies before op
        if (off >= 8 && ocap - op >= len + kWild) {
            // Chunks of 8 never read bytes this copy has yet to write.
            for (unsigned i = 0; i < len; i += 8) std::memcpy(dst + i, from + i, 8);
        } else if (off == 1) {
            std::memset(dst, *from, len);
        } else {
            for (unsigned i = 0; i < len; ++i) dst[i] = from[i];
        }
        op += len;
    }
#undef QPX_FAIL_IF
#undef QPX_NIBBLE
#undef QPX_BIT
#undef QPX_BYTE
#undef QPX_LONGDIST
#undef QPX_SELDIST
}

}  // namespace qpx::codec
