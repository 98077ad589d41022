// Wave layouts the player refuses before any decoder sees them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "byte_fields.h"
#include "wave_header.h"

namespace qpx::player::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put_id(Bytes& b, const char* id) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(id[i]));
}
void put32(Bytes& b, std::uint32_t v) {
    b.resize(b.size() + 4);
    store_le32(b, b.size() - 4, v);
}
void put16(Bytes& b, std::uint16_t v) {
    b.resize(b.size() + 2);
    store_le16(b, b.size() - 2, v);
}

struct Fmt {
    std::uint32_t chunk_size = 16;
    std::uint16_t tag = 1, channels = 2;
    std::uint32_t rate = 44100, bytes_per_second = 176400;
    std::uint16_t block_align = 4, bits = 16;
    std::optional<std::uint16_t> extra_size = std::nullopt;
    std::size_t extra_written = 0;
};

// RIFF/WAVE, a "LIST" chunk of odd size, the fmt chunk as told, then
// "data" with `data_bytes` bytes.
Bytes wave(const Fmt& f, std::uint32_t data_bytes = 8) {
    Bytes b;
    put_id(b, "RIFF");
    put32(b, 0);
    put_id(b, "WAVE");
    put_id(b, "LIST");
    put32(b, 3);
    b.insert(b.end(), {'a', 'b', 'c', 0});  // padded to even
    put_id(b, "fmt ");
    put32(b, f.chunk_size);
    put16(b, f.tag);
    put16(b, f.channels);
    put32(b, f.rate);
    put32(b, f.bytes_per_second);
    put16(b, f.block_align);
    put16(b, f.bits);
    if (f.extra_size) put16(b, *f.extra_size);
    b.insert(b.end(), f.extra_written, 0);
    put_id(b, "data");
    put32(b, data_bytes);
    b.insert(b.end(), data_bytes, 0x11);
    store_le32(b, 4, static_cast<std::uint32_t>(b.size() - 8));
    return b;
}

TEST(WaveHeader, ReadsTheFormatAndFindsTheData) {
    Fmt adpcm;
    adpcm.chunk_size = 20;
    adpcm.tag = 0x11;
    adpcm.block_align = 2048;
    adpcm.bits = 4;
    adpcm.extra_size = 2;
    adpcm.extra_written = 2;
    const Bytes b = wave(adpcm, 100);
    std::string why;
    const auto layout = parse_wave_header(b, b.size(), why);
    ASSERT_TRUE(layout) << why;
    EXPECT_EQ(layout->format.tag, 0x11);
    EXPECT_EQ(layout->format.block_align, 2048);
    EXPECT_EQ(layout->format.extra_size, 2);
    EXPECT_EQ(layout->data_offset, b.size() - 100);
    EXPECT_EQ(layout->data_size, 100u);

    // A truncated file keeps its layout: its data chunk just ends early.
    EXPECT_TRUE(parse_wave_header(std::span(b).first(b.size() - 50), b.size() - 50, why));
}

TEST(WaveHeader, RefusesLayoutsWhoseSizesLie) {
    struct Case {
        const char* what;
        Fmt fmt;
    };
    std::vector<Case> cases;
    cases.push_back({"fmt chunk shorter than 16 bytes", {.chunk_size = 14}});
    cases.push_back({"extra bytes beyond the chunk",
                     {.chunk_size = 18, .tag = 0x11, .block_align = 2048, .bits = 4, .extra_size = 30}});
    cases.push_back({"no channels", {.channels = 0}});
    cases.push_back({"no block size", {.block_align = 0}});
    cases.push_back({"PCM block size that does not match", {.block_align = 3}});
    cases.push_back({"no sample rate", {.rate = 0}});
    for (const Case& c : cases) {
        const Bytes b = wave(c.fmt);
        std::string why;
        EXPECT_FALSE(parse_wave_header(b, b.size(), why)) << c.what;
        EXPECT_FALSE(why.empty()) << c.what;
    }

    // A fmt chunk that claims more bytes than the file has.
    Bytes runaway = wave({});
    store_le32(runaway, 28, 0x7FFFFFF0);  // the fmt chunk's size field
    std::string why;
    EXPECT_FALSE(parse_wave_header(runaway, runaway.size(), why));
}

TEST(WaveHeader, RefusesWhatIsNotAWaveFile) {
    const Bytes good = wave({});
    struct Case {
        const char* what;
        Bytes bytes;
    };
    Bytes not_riff = good;
    not_riff[0] = 'X';
    Bytes not_wave = good;
    not_wave[8] = 'A';
    Bytes no_data = good;
    no_data.resize(good.size() - 16);  // cut before the data chunk's header
    Bytes data_first;
    put_id(data_first, "RIFF");
    put32(data_first, 12);
    put_id(data_first, "WAVE");
    put_id(data_first, "data");
    put32(data_first, 0);
    const Case cases[] = {{"empty", {}}, {"not RIFF", not_riff}, {"not WAVE", not_wave},
                          {"no data chunk", no_data}, {"data before fmt", data_first}};
    for (const Case& c : cases) {
        std::string why;
        EXPECT_FALSE(parse_wave_header(c.bytes, c.bytes.size(), why)) << c.what;
    }
}

}  // namespace
}  // namespace qpx::player::test
