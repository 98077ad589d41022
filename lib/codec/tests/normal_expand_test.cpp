// The normal-compression decoder: its vectors and hostile streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "qpx/codec/codec.h"
#include "stream_tools.h"

namespace qpx::codec {
namespace {

using testing::reference_decode;
using testing::StreamBuilder;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kOutWithSlack = kNormalMaxOutput + 300;

// Decodes into a buffer with guard bytes on both sides, checks the guards.
int expand_guarded(std::span<const std::uint8_t> in, Bytes* decoded, std::size_t cap = kOutWithSlack) {
    constexpr std::size_t kGuard = 64;
    Bytes buf(cap + 2 * kGuard, 0xA5);
    // The payload is copied into an exact-size heap block so that ASan sees a
    // read past its end.
    Bytes payload(in.begin(), in.end());
    const int r = normal_expand(payload, std::span(buf).subspan(kGuard, cap));
    for (std::size_t i = 0; i < kGuard; ++i) {
        EXPECT_EQ(buf[i], 0xA5) << "write before out at " << i;
        EXPECT_EQ(buf[kGuard + cap + i], 0xA5) << "write past out at " << i;
    }
    if (decoded != nullptr && r >= 0) decoded->assign(buf.begin() + kGuard, buf.begin() + kGuard + r);
    return r;
}

TEST(NormalExpand, EndTokenAloneGivesZeroBytes) {
    const Bytes s = {0x0F, 0, 0, 0, 0x03, 0, 0, 0, 0xFF};
    Bytes out;
    EXPECT_EQ(expand_guarded(s, &out), 0);
    EXPECT_TRUE(out.empty());
}

TEST(NormalExpand, ThreeLiteralsAbc) {
    const Bytes s = {0xFC, 0, 0, 0, 0x06, 0, 0, 0, 'a', 'b', 'c', 0xFF};
    Bytes out;
    ASSERT_EQ(expand_guarded(s, &out), 3);
    EXPECT_EQ(std::string(out.begin(), out.end()), "abc");
}

TEST(NormalExpand, Code4Nibble1RepeatsTheLiteralFourTimes) {
    // Nibbles 10, 4, 1, 15 in one word; the literal x; bits 1 1; byte 255.
    const Bytes s = {0x4A, 0xF1, 0, 0, 'x', 0x03, 0, 0, 0, 0xFF};
    EXPECT_EQ(s, StreamBuilder().nibble(10).byte('x').nibble(4).nibble(1).end().data());
    Bytes out;
    ASSERT_EQ(expand_guarded(s, &out), 5);
    EXPECT_EQ(std::string(out.begin(), out.end()), "xxxxx");
}

TEST(NormalExpand, DistanceBeyondHistoryIsMinus2) {
    // One literal, then a match at distance 1 (only entry 0 exists).
    EXPECT_EQ(expand_guarded(StreamBuilder().nibble(10).byte('x').nibble(0).byte(1).end().data(), nullptr),
              kExpandBadDistance);
    // A match with an empty history.
    EXPECT_EQ(expand_guarded(StreamBuilder().nibble(4).nibble(0).end().data(), nullptr), kExpandBadDistance);
    // Long distances: 8191 entries back after 100 literals.
    StreamBuilder b;
    Bytes lits(100, 'q');
    b.long_literals(std::span(lits).first(100));
    b.nibble(5).nibble(0).nibble(15).byte(255).end();
    EXPECT_EQ(expand_guarded(b.data(), nullptr), kExpandBadDistance);
    // The last valid entry is fine: distance 99 after 100 literals.
    StreamBuilder ok;
    ok.long_literals(lits).nibble(0).byte(99).end();
    EXPECT_EQ(expand_guarded(ok.data(), nullptr), 103);
}

// 1 literal plus matches of 283 from distance 0 up to `total` bytes, then end.
Bytes stream_of_length(std::size_t total) {
    StreamBuilder b;
    b.nibble(10).byte('z');
    std::size_t n = 1;
    while (n < total) {
        const std::size_t want = total - n;
        if (want >= 29) {
            const unsigned len = static_cast<unsigned>(std::min<std::size_t>(want, 283));
            b.long_match(len, 0);
            n += len;
        } else {
            b.nibble(10).byte('z');
            ++n;
        }
    }
    return b.end().data();
}

TEST(NormalExpand, OutputLimitIs32768) {
    Bytes out;
    EXPECT_EQ(expand_guarded(stream_of_length(32768), &out), 32768);
    EXPECT_EQ(out, Bytes(32768, 'z'));
    EXPECT_EQ(expand_guarded(stream_of_length(32769), nullptr), kExpandLimitExceeded);
    // Also with an output span far larger than the limit.
    EXPECT_EQ(expand_guarded(stream_of_length(32769), nullptr, 65536), kExpandLimitExceeded);
    // The limit is also reached by literals.
    StreamBuilder b;
    Bytes lits(280, 'l');
    for (int i = 0; i < 117; ++i) b.nibble(15).bit(1).bit(0).byte(255).bytes(lits);  // 32,760
    b.nibble(14).nibble(0).bytes(Bytes(9, 'm')).end();                               // 32,769
    EXPECT_EQ(expand_guarded(b.data(), nullptr), kExpandLimitExceeded);
}

TEST(NormalExpand, SmallOutputSpanIsNeverOverrun) {
    const Bytes s = stream_of_length(500);
    for (std::size_t cap : {0u, 1u, 2u, 29u, 30u, 31u, 100u, 499u}) {
        EXPECT_EQ(expand_guarded(s, nullptr, cap), kExpandLimitExceeded) << cap;
    }
    Bytes out;
    EXPECT_EQ(expand_guarded(s, &out, 500), 500);
    EXPECT_EQ(out, Bytes(500, 'z'));
}

TEST(NormalExpand, TruncatedStreamsFail) {
    std::vector<Bytes> streams = {
        stream_of_length(5000),
        StreamBuilder().nibble(10).byte('x').nibble(4).nibble(1).end().data(),
        {0xFC, 0, 0, 0, 0x06, 0, 0, 0, 'a', 'b', 'c', 0xFF},
    };
    for (const Bytes& s : streams) {
        for (std::size_t n = 0; n < s.size(); ++n) {
            EXPECT_EQ(expand_guarded(std::span(s).first(n), nullptr), kExpandLimitExceeded) << n;
        }
    }
}

TEST(NormalExpand, ReservoirWordsPastTheEndFail) {
    EXPECT_EQ(expand_guarded(Bytes{0x0A}, nullptr), kExpandLimitExceeded);
    EXPECT_EQ(expand_guarded(Bytes{0x0A, 0, 0}, nullptr), kExpandLimitExceeded);
    // Nibble word present, bit word cut short.
    EXPECT_EQ(expand_guarded(Bytes{0x0C, 0, 0, 0, 0x01, 0}, nullptr), kExpandLimitExceeded);
    // A second nibble word needed after eight nibbles, absent.
    StreamBuilder b;
    for (int i = 0; i < 8; ++i) b.nibble(10).byte('a' + i);
    Bytes s = b.data();
    EXPECT_EQ(expand_guarded(s, nullptr), kExpandLimitExceeded);
    s.push_back(0xAA);
    EXPECT_EQ(expand_guarded(s, nullptr), kExpandLimitExceeded);
}

TEST(NormalExpand, LiteralRunsPastTheInputFail) {
    // 279 literals announced, 10 present.
    EXPECT_EQ(expand_guarded(StreamBuilder().nibble(15).bit(1).bit(0).byte(254).bytes(Bytes(10, 1)).data(),
                             nullptr),
              kExpandLimitExceeded);
    // 24 literals announced (code 14, nibble 15), 23 present.
    EXPECT_EQ(expand_guarded(StreamBuilder().nibble(14).nibble(15).bytes(Bytes(23, 1)).data(), nullptr),
              kExpandLimitExceeded);
    // A distance byte missing at the very end.
    EXPECT_EQ(expand_guarded(StreamBuilder().nibble(10).byte(1).nibble(0).data(), nullptr),
              kExpandLimitExceeded);
}

TEST(NormalExpand, EveryCodeDecodesLikeTheReference) {
    // One stream that uses every code and both distance forms.
    Bytes lits(300);
    for (std::size_t i = 0; i < lits.size(); ++i) lits[i] = static_cast<std::uint8_t>(i * 7 + 3);
    StreamBuilder b;
    b.long_literals(std::span(lits).first(280));               // 15/1/0
    b.nibble(10).byte(1);                                       // 10
    b.nibble(11).byte(2).byte(3);                               // 11
    b.nibble(12).bit(1).bytes(std::span(lits).first(4));        // 12
    b.nibble(13).bit(1).bit(0).bytes(std::span(lits).first(7)); // 13
    b.nibble(14).nibble(3).bytes(std::span(lits).first(12));    // 14
    b.nibble(0).byte(5);                                        // 0
    b.nibble(1).byte(200);                                      // 1
    b.nibble(2).byte(0);                                        // 2
    b.nibble(3).byte(10);                                       // 3 (266)
    b.nibble(4).nibble(0);                                      // 4/0
    b.nibble(4).nibble(1);                                      // 4/1
    b.nibble(5).nibble(1).byte(2);                              // 5 (258)
    b.nibble(6).nibble(1).byte(20);                             // 6 (276)
    b.nibble(7).bit(0).byte(4);                                 // 7 short
    b.nibble(7).bit(1).nibble(1).byte(0);                       // 7 long
    b.nibble(8).bit(1).bit(0).byte(9);                          // 8
    b.nibble(9).bit(1).bit(1).bit(0).byte(30);                  // 9
    b.nibble(15).bit(0).nibble(15).bit(0).byte(7);              // 15/0
    b.long_match(283, 2);                                       // 15/1/1
    b.end();
    const auto ref = reference_decode(b.data());
    ASSERT_GT(ref.result, 0);
    Bytes out;
    ASSERT_EQ(expand_guarded(b.data(), &out), ref.result);
    EXPECT_EQ(out, ref.out);
    EXPECT_EQ(ref.tokens.size(), 20u);
}

TEST(NormalExpand, LongDistanceBeyond4096) {
    // 4,400 literals, then a match 4,300 entries back (nibble 0, nibble m).
    StreamBuilder b;
    Bytes all;
    std::mt19937 rng(7);
    for (int run = 0; run < 20; ++run) {
        Bytes lits(220);
        for (auto& x : lits) x = static_cast<std::uint8_t>(rng());
        b.long_literals(lits);
        all.insert(all.end(), lits.begin(), lits.end());
    }
    const unsigned d = 4300;
    b.nibble(6).nibble(0).nibble((d - 4096) / 256).byte(d % 256).end();
    Bytes out;
    ASSERT_EQ(expand_guarded(b.data(), &out), 4405);
    const std::size_t src = all.size() - 1 - d;
    for (int i = 0; i < 5; ++i) EXPECT_EQ(out[4400 + i], all[src + i]);
}

// Random streams: biased towards valid-looking fields so that deep paths are
// reached; the fast decoder must agree with the plain reference everywhere.
TEST(NormalExpand, RandomStreamsAgreeWithReference) {
    std::mt19937 rng(12345);
    int ok = 0;
    for (int iter = 0; iter < 20000; ++iter) {
        Bytes s(rng() % 600);
        for (auto& x : s) x = static_cast<std::uint8_t>(rng() % 4 == 0 ? 0 : rng());
        const auto ref = reference_decode(s);
        Bytes out;
        const int r = expand_guarded(s, &out);
        ASSERT_EQ(r, ref.result) << "iteration " << iter;
        if (r >= 0) {
            ASSERT_EQ(out, ref.out);
            ++ok;
        }
    }
    // Some streams end properly by chance; the rest fail cleanly.
    RecordProperty("decoded", ok);
}

TEST(NormalExpand, RandomValidStreamsAgreeWithReference) {
    std::mt19937 rng(99);
    for (int iter = 0; iter < 3000; ++iter) {
        StreamBuilder b;
        std::size_t produced = 0, entries = 0;
        const std::size_t target = rng() % 40000;
        while (produced < target) {
            if (entries == 0 || rng() % 3 == 0) {
                unsigned n = 1 + rng() % 280;
                Bytes lits(n);
                for (auto& x : lits) x = static_cast<std::uint8_t>(rng() % 8);
                if (n >= 25) {
                    b.long_literals(lits);
                } else {
                    b.nibble(14).nibble(0);  // 9 literals
                    lits.resize(9);
                    b.bytes(lits);
                    n = 9;
                }
                produced += n;
                entries += n;
            } else {
                const unsigned d = static_cast<unsigned>(rng() % std::min<std::size_t>(entries + 2, 8192));
                const unsigned len = 29 + rng() % 255;
                b.nibble(15).bit(1).bit(1).byte(len - 29);
                if (d < 256) {
                    b.bit(0).byte(d);
                } else {
                    b.bit(1);
                    if (d < 4096) {
                        b.nibble(d >> 8);
                    } else {
                        b.nibble(0).nibble((d - 4096) >> 8);
                    }
                    b.byte(d & 255);
                }
                produced += len;
                entries += 1;
            }
        }
        b.end();
        const auto ref = reference_decode(b.data());
        Bytes out;
        const int r = expand_guarded(b.data(), &out);
        ASSERT_EQ(r, ref.result) << iter;
        if (r >= 0) {
            ASSERT_EQ(out, ref.out) << iter;
        }
    }
}

}  // namespace
}  // namespace qpx::codec
