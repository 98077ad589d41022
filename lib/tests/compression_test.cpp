// The exported Compress / Uncompress (the codec's own suite covers
// the zlib calls in depth).
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "qpxdrv.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(Compression, ZerosRoundTrip) {
    const Bytes zeros(32768, 0);
    Bytes z(33068);
    uint32_t zlen = static_cast<uint32_t>(z.size());
    ASSERT_EQ(Compress(z.data(), &zlen, zeros.data(), static_cast<uint32_t>(zeros.size())), 0);
    EXPECT_GT(zlen, 8u);
    EXPECT_LT(zlen, 100u);
    Bytes back(37932, 0xEE);
    uint32_t blen = static_cast<uint32_t>(back.size());
    ASSERT_EQ(Uncompress(back.data(), &blen, z.data(), zlen), 0);
    ASSERT_EQ(blen, 32768u);
    EXPECT_TRUE(std::equal(zeros.begin(), zeros.end(), back.begin()));
}

TEST(Compression, TooSmallOutputIsMinus5) {
    Bytes in(32768);
    for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
    Bytes z(64);
    uint32_t zlen = static_cast<uint32_t>(z.size());
    EXPECT_EQ(Compress(z.data(), &zlen, in.data(), static_cast<uint32_t>(in.size())), -5);
    EXPECT_EQ(zlen, 64u);  // unchanged on failure
}

TEST(Compression, WrongAdlerIsMinus3) {
    const Bytes text(3000, 'k');
    Bytes z(4000);
    uint32_t zlen = static_cast<uint32_t>(z.size());
    ASSERT_EQ(Compress(z.data(), &zlen, text.data(), static_cast<uint32_t>(text.size())), 0);
    z[zlen - 1] ^= 0x80;
    Bytes back(37932);
    uint32_t blen = static_cast<uint32_t>(back.size());
    EXPECT_EQ(Uncompress(back.data(), &blen, z.data(), zlen), -3);
}

TEST(Compression, NullPointersFailCleanly) {
    Bytes buf(64);
    uint32_t n = 64;
    EXPECT_NE(Compress(buf.data(), nullptr, buf.data(), 8), 0);
    EXPECT_NE(Compress(nullptr, &n, buf.data(), 8), 0);
    EXPECT_NE(Compress(buf.data(), &n, nullptr, 8), 0);
    EXPECT_NE(Uncompress(buf.data(), nullptr, buf.data(), 8), 0);
    EXPECT_NE(Uncompress(nullptr, &n, buf.data(), 8), 0);
    EXPECT_NE(Uncompress(buf.data(), &n, nullptr, 8), 0);
    EXPECT_EQ(n, 64u);
}

}  // namespace
