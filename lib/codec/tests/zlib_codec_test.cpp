// zlib streams through the codec's calls (the exported Compress/Uncompress
// wrap these).
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "qpx/codec/codec.h"

namespace qpx::codec {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ZlibCodec, ZerosCompressToAFewDozenBytesAndBack) {
    const Bytes zeros(32768, 0);
    Bytes z(33068);
    std::size_t zlen = z.size();
    ASSERT_EQ(zlib_compress(z.data(), &zlen, zeros.data(), zeros.size(), 6), Z_OK);
    EXPECT_LT(zlen, 100u);
    EXPECT_GT(zlen, 8u);
    EXPECT_EQ(z[0] & 0x0F, 8);                   // deflate, RFC 1950 header
    EXPECT_EQ((z[0] << 8 | z[1]) % 31, 0);
    Bytes back(37932, 0xEE);
    std::size_t blen = back.size();
    ASSERT_EQ(zlib_uncompress(back.data(), &blen, z.data(), zlen), Z_OK);
    EXPECT_EQ(blen, 32768u);
    EXPECT_TRUE(std::equal(zeros.begin(), zeros.end(), back.begin()));
}

TEST(ZlibCodec, TooSmallOutputIsBufError) {
    std::mt19937 rng(1);
    Bytes in(32768);
    for (auto& x : in) x = static_cast<std::uint8_t>(rng() & 0x0F);
    Bytes z(100);
    std::size_t zlen = z.size();
    EXPECT_EQ(zlib_compress(z.data(), &zlen, in.data(), in.size(), 6), Z_BUF_ERROR);
    zlen = 0;
    EXPECT_EQ(zlib_compress(nullptr, &zlen, in.data(), in.size(), 6), Z_BUF_ERROR);

    Bytes full(40000);
    std::size_t flen = full.size();
    ASSERT_EQ(zlib_compress(full.data(), &flen, in.data(), in.size(), 9), Z_OK);
    Bytes back(32767);
    std::size_t blen = back.size();
    EXPECT_EQ(zlib_uncompress(back.data(), &blen, full.data(), flen), Z_BUF_ERROR);
}

TEST(ZlibCodec, WrongAdlerAndTruncationAreDataErrors) {
    const Bytes text(5000, 'q');
    Bytes z(6000);
    std::size_t zlen = z.size();
    ASSERT_EQ(zlib_compress(z.data(), &zlen, text.data(), text.size(), 6), Z_OK);
    Bytes back(32768);
    Bytes bad(z.begin(), z.begin() + zlen);
    bad.back() ^= 0x01;  // last byte of the Adler-32
    std::size_t blen = back.size();
    EXPECT_EQ(zlib_uncompress(back.data(), &blen, bad.data(), bad.size()), Z_DATA_ERROR);
    blen = back.size();
    EXPECT_EQ(zlib_uncompress(back.data(), &blen, z.data(), zlen - 3), Z_DATA_ERROR);
    Bytes garbage = {0x12, 0x34, 0x56, 0x78};
    blen = back.size();
    EXPECT_EQ(zlib_uncompress(back.data(), &blen, garbage.data(), garbage.size()), Z_DATA_ERROR);
}

TEST(ZlibCodec, NullPointersFailCleanly) {
    Bytes buf(100);
    std::size_t n = buf.size();
    EXPECT_EQ(zlib_compress(buf.data(), nullptr, buf.data(), 10, 6), Z_STREAM_ERROR);
    EXPECT_EQ(zlib_compress(nullptr, &n, buf.data(), 10, 6), Z_STREAM_ERROR);
    EXPECT_EQ(zlib_compress(buf.data(), &n, nullptr, 10, 6), Z_STREAM_ERROR);
    EXPECT_EQ(zlib_uncompress(buf.data(), nullptr, buf.data(), 10), Z_STREAM_ERROR);
    EXPECT_EQ(zlib_uncompress(nullptr, &n, buf.data(), 10), Z_STREAM_ERROR);
    EXPECT_EQ(zlib_uncompress(buf.data(), &n, nullptr, 10), Z_STREAM_ERROR);
    // Empty input with no pointer is a valid empty stream.
    n = buf.size();
    ASSERT_EQ(zlib_compress(buf.data(), &n, nullptr, 0, 6), Z_OK);
    std::size_t m = 0;
    EXPECT_EQ(zlib_uncompress(nullptr, &m, buf.data(), n), Z_OK);
    EXPECT_EQ(m, 0u);
    EXPECT_EQ(zlib_compress(buf.data(), &n, buf.data(), 10, 42), Z_STREAM_ERROR);  // bad level
}

TEST(ZlibCodec, RoundTripsOfManyBlocks) {
    std::mt19937 rng(8);
    for (int i = 0; i < 200; ++i) {
        Bytes in(rng() % 32769);
        const unsigned mask = (1u << (rng() % 9)) - 1;
        for (auto& x : in) x = static_cast<std::uint8_t>(rng() & mask);
        Bytes z(in.size() + in.size() / 1000 + 64);
        std::size_t zlen = z.size();
        ASSERT_EQ(zlib_compress(z.data(), &zlen, in.data(), in.size(), i % 2 ? 9 : 6), Z_OK);
        Bytes back(32768 + 1);
        std::size_t blen = back.size();
        ASSERT_EQ(zlib_uncompress(back.data(), &blen, z.data(), zlen), Z_OK);
        ASSERT_EQ(blen, in.size());
        ASSERT_TRUE(std::equal(in.begin(), in.end(), back.begin()));
    }
}

}  // namespace
}  // namespace qpx::codec
