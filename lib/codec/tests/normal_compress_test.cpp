// The normal block compressor: its cases and round trips.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <cstring>
#include <thread>
#include <vector>

#include "qpx/codec/codec.h"
#include "stream_tools.h"

namespace qpx::codec {
namespace {

using testing::reference_decode;
using Bytes = std::vector<std::uint8_t>;

// Compresses into an output area of exactly len + 298 bytes.
Bytes compress(NormalCompressor& c, std::span<const std::uint8_t> block, std::size_t* result = nullptr) {
    Bytes in(block.begin(), block.end());  // exact-size heap block: ASan sees reads behind it
    Bytes out(in.size() + 298);
    const std::size_t n = c.compress(in, out);
    if (result) *result = n;
    EXPECT_LE(n, in.size());
    out.resize(n);
    return out;
}

// Compresses and, when the result is shorter, expands and compares.
// Returns the compressed size (== size when stored).
std::size_t round_trip(NormalCompressor& c, std::span<const std::uint8_t> block) {
    std::size_t n = 0;
    const Bytes z = compress(c, block, &n);
    if (n == block.size()) return n;
    Bytes out(kNormalMaxOutput + 300);
    const int r = normal_expand(z, out);
    EXPECT_EQ(r, static_cast<int>(block.size()));
    if (r == static_cast<int>(block.size())) {
        EXPECT_TRUE(std::equal(block.begin(), block.end(), out.begin())) << "size " << block.size();
    }
    return n;
}

Bytes read_file(const std::filesystem::path& p, std::size_t max = 4u << 20) {
    std::ifstream f(p, std::ios::binary);
    Bytes b;
    if (!f) return b;
    b.resize(max);
    f.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(max));
    b.resize(static_cast<std::size_t>(f.gcount()));
    return b;
}

Bytes real_binary() {
    for (const char* p : {"/usr/bin/bash", "/usr/bin/ls", "/proc/self/exe"}) {
        Bytes b = read_file(p);
        if (b.size() > 100000) return b;
    }
    return {};
}

Bytes real_text() {
    Bytes all;
    std::error_code ec;
    for (const char* dir : {"/usr/share/common-licenses", "/usr/share/doc/cmake"}) {
        for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            if (!it->is_regular_file() || it->path().extension() == ".gz") continue;
            Bytes b = read_file(it->path(), 1 << 20);
            all.insert(all.end(), b.begin(), b.end());
            if (all.size() > (1u << 20)) return all;
        }
    }
    if (all.size() < 100000) {  // no docs installed: make text of words
        std::mt19937 rng(3);
        const char* words[] = {"the ", "container ", "block ", "sector ", "drive ", "emulated ", "and ", "of "};
        while (all.size() < 300000) {
            const char* w = words[rng() % 8];
            all.insert(all.end(), w, w + std::strlen(w));
        }
    }
    return all;
}

Bytes random_bytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b) x = static_cast<std::uint8_t>(rng());
    return b;
}

// Bytes in which no 3-byte sequence repeats and none hashes to `avoid_hash`.
Bytes unique_triples(std::size_t n, unsigned seed, int avoid_hash = -1) {
    std::mt19937 rng(seed);
    std::set<std::uint32_t> seen;
    Bytes b;
    while (b.size() < n) {
        const std::uint8_t x = static_cast<std::uint8_t>(rng());
        if (b.size() >= 2) {
            const std::uint32_t key = b[b.size() - 2] | b[b.size() - 1] << 8 | x << 16;
            const int h = (b[b.size() - 2] + 16 * b[b.size() - 1] + 256 * x) % 8192;
            if (seen.count(key) || h == avoid_hash) continue;
            seen.insert(key);
        }
        b.push_back(x);
    }
    return b;
}

TEST(NormalCompress, ThirtyTwoKZerosBecomeAFewHundredBytes) {
    NormalCompressor c;
    const Bytes zeros(32768, 0);
    std::size_t n = 0;
    const Bytes z = compress(c, zeros, &n);
    EXPECT_GT(n, 100u);
    EXPECT_LT(n, 1000u);
    const auto ref = reference_decode(z);
    ASSERT_EQ(ref.result, 32768);
    EXPECT_EQ(ref.out, zeros);
    // A literal, then one long match after another.
    ASSERT_GE(ref.tokens.size(), 2u);
    EXPECT_TRUE(ref.tokens[0].literal);
    for (std::size_t i = 1; i + 1 < ref.tokens.size(); ++i) {
        EXPECT_FALSE(ref.tokens[i].literal);
        EXPECT_EQ(ref.tokens[i].length, 282u);
        EXPECT_EQ(ref.tokens[i].distance, 0u);
    }
    EXPECT_EQ(round_trip(c, zeros), n);
}

TEST(NormalCompress, NonRepeatingDataIsStored) {
    NormalCompressor c;
    const Bytes u = unique_triples(32768, 1);
    std::size_t n = 0;
    compress(c, u, &n);
    EXPECT_EQ(n, u.size());
    const Bytes r = random_bytes(32768, 2);
    compress(c, r, &n);
    EXPECT_EQ(n, r.size());
    for (std::size_t len : {1u, 2u, 3u, 9u, 100u, 2048u}) {
        compress(c, std::span(u).first(len), &n);
        EXPECT_EQ(n, len);
    }
}

TEST(NormalCompress, EmptyBlockIsStored) {
    NormalCompressor c;
    Bytes out(298);
    EXPECT_EQ(c.compress({}, out), 0u);
}

// "abc", filler of unique triples, "abc" again: the second "abc" is a 3-byte
// candidate whose token distance is filler + 2.
std::vector<testing::Token> tokens_for_abc_gap(std::size_t filler, Bytes* block_out) {
    const int abc_hash = ('a' + 16 * 'b' + 256 * 'c') % 8192;
    Bytes block = {'a', 'b', 'c'};
    Bytes f = unique_triples(filler, 5, abc_hash);
    // The filler must not contain a, b, c around its joins; the triples across
    // the joins must not hash to abc's entry either.
    block.insert(block.end(), f.begin(), f.end());
    block.insert(block.end(), {'a', 'b', 'c', 'Q', 'R', 'S'});
    // Make the block compressible so that a stream is written: a zero tail.
    block.insert(block.end(), 6000, 0);
    NormalCompressor c;
    std::size_t n = 0;
    const Bytes z = compress(c, block, &n);
    EXPECT_LT(n, block.size());
    const auto ref = reference_decode(z);
    EXPECT_EQ(ref.out, block);
    if (block_out) *block_out = block;
    return ref.tokens;
}

TEST(NormalCompress, ThreeByteCandidateAtTokenDistance4096IsRefused) {
    // The filler tokens are all literals (no triple repeats), so the second
    // "abc" is token 3 + filler and the first is token 0: distance 2 + filler.
    Bytes block;
    auto at = [&](const std::vector<testing::Token>& toks, std::size_t pos) {
        for (const auto& t : toks) {
            if (t.at <= pos && pos < t.at + t.length && (t.literal || t.at == pos)) return t;
        }
        return testing::Token{};
    };
    {
        const auto toks = tokens_for_abc_gap(4094, &block);  // distance 4096
        const std::size_t pos = 3 + 4094;
        ASSERT_EQ(block[pos], 'a');
        const auto t = at(toks, pos);
        EXPECT_TRUE(t.literal) << "a 3-byte match at distance 4096 must be refused";
        for (const auto& k : toks) {
            if (!k.literal) {
                EXPECT_GE(k.at, pos + 6) << "no match before the zero tail";
            }
        }
    }
    {
        const auto toks = tokens_for_abc_gap(4093, &block);  // distance 4095: taken
        const std::size_t pos = 3 + 4093;
        const auto t = at(toks, pos);
        EXPECT_FALSE(t.literal);
        EXPECT_EQ(t.at, pos);
        EXPECT_EQ(t.length, 3u);
        EXPECT_EQ(t.distance, 4095u);
        EXPECT_EQ(t.code, 4u);  // nibble 4, nibble 15, byte 255
    }
}

TEST(NormalCompress, Match282IsNibble15Bits11Byte253) {
    NormalCompressor c;
    const Bytes block(283, 0);
    std::size_t n = 0;
    const Bytes z = compress(c, block, &n);
    // Nibbles 10, 15, 15; literal 0; bits 1 1 (length) 0 (short distance)
    // then 1 1 (end); byte 253; distance byte 0; end byte 255.
    const Bytes expected = {0xFA, 0x0F, 0, 0, 0x00, 0x1B, 0, 0, 0, 253, 0, 255};
    EXPECT_EQ(z, expected);
    EXPECT_EQ(round_trip(c, block), expected.size());
}

TEST(NormalCompress, Flush279LiteralsAsNibble15Bits10Byte254) {
    NormalCompressor c;
    Bytes block = unique_triples(279, 11);
    block.insert(block.end(), 3000, 0);  // compressible tail, so a stream is kept
    // Make sure the first zero does not hash-match inside the unique part.
    std::size_t n = 0;
    const Bytes z = compress(c, block, &n);
    ASSERT_LT(n, block.size());
    EXPECT_EQ(z[0] & 0x0F, 15);          // nibble 15 in a word reserved at 0
    EXPECT_EQ(z[4] & 0x03, 0x01);        // bits 1 then 0 in a word reserved at 4
    EXPECT_EQ(z[8], 254);                // 25 + 254 = 279
    EXPECT_TRUE(std::equal(block.begin(), block.begin() + 279, z.begin() + 9));
    const auto ref = reference_decode(z);
    ASSERT_EQ(ref.out, block);
    ASSERT_FALSE(ref.tokens.empty());
    EXPECT_TRUE(ref.tokens[0].literal);
    EXPECT_EQ(ref.tokens[0].length, 279u);
    EXPECT_EQ(round_trip(c, block), n);
}

TEST(NormalCompress, DeterministicAcrossCallsObjectsAndThreads) {
    const Bytes text = real_text();
    const Bytes bin = real_binary();
    ASSERT_GE(text.size(), 32768u);
    std::vector<Bytes> blocks = {Bytes(text.begin(), text.begin() + 32768), Bytes(32768, 0),
                                 random_bytes(5000, 4)};
    if (bin.size() >= 65536) blocks.emplace_back(bin.begin() + 32768, bin.begin() + 65536);

    NormalCompressor fresh;
    std::vector<Bytes> expected;
    for (const Bytes& b : blocks) {
        NormalCompressor one;
        expected.push_back(compress(one, b));
    }
    // One object, after other work, in another order.
    NormalCompressor used;
    for (int round = 0; round < 3; ++round) {
        for (std::size_t i = blocks.size(); i-- > 0;) EXPECT_EQ(compress(used, blocks[i]), expected[i]);
    }
    // Several objects at once.
    std::vector<std::thread> threads;
    std::array<bool, 4> same{};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            NormalCompressor c;
            bool all = true;
            for (int r = 0; r < 5; ++r) {
                for (std::size_t i = 0; i < blocks.size(); ++i) {
                    Bytes out(blocks[i].size() + 298);
                    const std::size_t n = c.compress(blocks[i], out);
                    out.resize(n);
                    all = all && out == expected[i];
                }
            }
            same[t] = all;
        });
    }
    for (auto& th : threads) th.join();
    for (bool s : same) EXPECT_TRUE(s);
}

TEST(NormalCompress, RoundTripsOverDataKinds) {
    NormalCompressor c;
    const Bytes text = real_text();
    const Bytes bin = real_binary();
    ASSERT_FALSE(bin.empty());

    struct Kind {
        const char* name;
        Bytes data;
    };
    std::vector<Kind> kinds;
    kinds.push_back({"zeros", Bytes(100000, 0)});
    kinds.push_back({"text", text});
    kinds.push_back({"random", random_bytes(200000, 9)});
    kinds.push_back({"binary", bin});
    Bytes mixed;
    for (std::size_t i = 0; i < 8; ++i) {
        const Bytes& src = (i % 3 == 0) ? text : (i % 3 == 1) ? bin : kinds[2].data;
        const std::size_t off = (i * 40000) % (src.size() - 20000);
        mixed.insert(mixed.end(), src.begin() + off, src.begin() + off + 20000);
        mixed.insert(mixed.end(), 3000 * (i % 2), 0);
    }
    kinds.push_back({"mixed", mixed});
    Bytes periodic;
    for (std::size_t period = 1; period <= 40; ++period) {
        for (std::size_t i = 0; i < 3000; ++i) periodic.push_back(static_cast<std::uint8_t>((i % period) * 37));
    }
    kinds.push_back({"periodic", periodic});

    for (const Kind& k : kinds) {
        std::size_t total = 0, packed = 0;
        // Whole 32 KB blocks, then the shorter last block.
        for (std::size_t off = 0; off < k.data.size(); off += kNormalMaxOutput) {
            const std::size_t n = std::min(kNormalMaxOutput, k.data.size() - off);
            packed += round_trip(c, std::span(k.data).subspan(off, n));
            total += n;
        }
        RecordProperty(k.name, std::to_string(packed) + "/" + std::to_string(total));
        const std::string name = k.name;
        if (name == "zeros" || name == "periodic") {
            EXPECT_LT(packed * 20, total) << name;
        } else if (name == "text") {
            EXPECT_LT(packed * 10, total * 7) << name;
        } else if (name == "random") {
            EXPECT_EQ(packed, total) << name;
        }
    }
}

TEST(NormalCompress, RoundTripsOfSmallSizes) {
    NormalCompressor c;
    const Bytes text = real_text();
    const Bytes bin = real_binary();
    for (std::size_t len = 0; len <= 700; ++len) {
        round_trip(c, std::span(text).subspan(1000, len));
        round_trip(c, std::span(bin).subspan(4096, len));
        const Bytes z(len, 0x20);
        const std::size_t n = round_trip(c, z);
        if (len >= 40) {
            EXPECT_LT(n, len);
        }
    }
    // Sizes around the block limit and odd sector counts.
    for (std::size_t len : {2047u, 2048u, 2049u, 30720u, 32766u, 32767u, 32768u}) {
        round_trip(c, std::span(text).first(len));
        round_trip(c, std::span(bin).subspan(bin.size() - len, len));
    }
}

TEST(NormalCompress, LongRangeTokensAndCandidatesRoundTrip) {
    // Repeats of a 5 KB unit with small changes reach long token distances.
    NormalCompressor c;
    const Bytes unit = unique_triples(5000, 21);
    for (std::size_t gap : {4000u, 4095u, 4096u, 4097u, 8000u, 8191u, 8192u, 8200u}) {
        Bytes b(unit.begin(), unit.begin() + std::min<std::size_t>(gap, unit.size()));
        Bytes more = unique_triples(gap > unit.size() ? gap - unit.size() : 0, 22);
        b.insert(b.end(), more.begin(), more.end());
        b.insert(b.end(), unit.begin(), unit.begin() + 600);
        b.insert(b.end(), 2000, 7);
        round_trip(c, b);
    }
}

TEST(NormalCompress, UnsuitableBlocksAreStored) {
    NormalCompressor c;
    const Bytes zeros(32769, 0);
    Bytes out(zeros.size() + 298);
    EXPECT_EQ(c.compress(zeros, out), zeros.size());  // larger than a block
    Bytes small(100);
    EXPECT_EQ(c.compress(std::span(zeros).first(1000), small), 1000u);  // output area too small
}

}  // namespace
}  // namespace qpx::codec

namespace qpx::codec {
namespace {

// The compressor against the reference algorithm written out literally, with
// several contents for the two bytes the reference reads behind the block.
TEST(NormalCompress, BitExactWithThePartWhateverLiesBehindTheBlock) {
    const Bytes text = real_text();
    const Bytes bin = real_binary();
    std::vector<Bytes> blocks;
    for (std::size_t off = 0; off + 32768 <= text.size() && blocks.size() < 8; off += 32768) {
        blocks.emplace_back(text.begin() + off, text.begin() + off + 32768);
    }
    for (std::size_t off = 0; off + 32768 <= bin.size() && blocks.size() < 24; off += 32768 * 3) {
        blocks.emplace_back(bin.begin() + off, bin.begin() + off + 32768);
    }
    blocks.emplace_back(32768, 0);
    Bytes periodic;
    for (std::size_t i = 0; i < 32768; ++i) periodic.push_back(static_cast<std::uint8_t>((i % 13) + (i / 5000)));
    blocks.push_back(periodic);
    Bytes u = unique_triples(9000, 3);
    u.insert(u.end(), u.begin(), u.begin() + 5000);  // long-distance repeats
    u.insert(u.end(), 1000, 'x');
    blocks.push_back(u);
    for (std::size_t len : {1u, 2u, 3u, 4u, 5u, 17u, 300u, 5000u, 20000u, 32767u}) {
        blocks.emplace_back(bin.begin() + 8192, bin.begin() + 8192 + len);
        blocks.emplace_back(len, 0);
        blocks.emplace_back(text.begin() + 77, text.begin() + 77 + len);
    }
    // Ends that invite matches into the bytes behind.
    Bytes tail(4000, 'a');
    tail.push_back('b');
    blocks.push_back(tail);

    NormalCompressor c;
    std::mt19937 rng(5);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        std::size_t n = 0;
        const Bytes mine = compress(c, blocks[i], &n);
        for (auto [b0, b1] : {std::pair<int, int>{0, 0}, {255, 255}, {'a', 'a'},
                              {static_cast<int>(rng() & 255), static_cast<int>(rng() & 255)}}) {
            const Bytes ref = testing::reference_compress(blocks[i], static_cast<std::uint8_t>(b0),
                                                          static_cast<std::uint8_t>(b1));
            if (ref == blocks[i] && ref.size() == n) continue;  // both: store
            ASSERT_EQ(ref.size(), n) << "block " << i;
            ASSERT_EQ(mine, ref) << "block " << i;
        }
    }
}

}  // namespace
}  // namespace qpx::codec
