// The table of contents through drive letters, on cue/bin discs checked
// against cd-info.
#include <gtest/gtest.h>

#include <array>

#include "cd_test_drives.h"
#include "qpxdrv.h"
#include "support/cd_info.h"

namespace qpx::testing {
namespace {

std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

struct TocRead {
    int result = -1;
    std::uint16_t count = 0xBEEF;
    std::array<std::uint8_t, QPX_TOC_SUMMARY_SIZE> summary{};
    // Room beyond the 70 records, to see that nothing is written there.
    std::vector<std::uint8_t> records = std::vector<std::uint8_t>(QPX_TRACK_TABLE_SIZE + 2 * QPX_TRACK_NODE_SIZE, 0xEE);

    std::uint8_t first() const { return summary[0]; }
    std::uint8_t last() const { return summary[1]; }
    std::uint32_t lead_out() const { return le32(summary.data() + 2); }
    std::uint32_t start(int i) const { return le32(records.data() + i * QPX_TRACK_NODE_SIZE); }
    std::uint8_t control(int i) const { return records[i * QPX_TRACK_NODE_SIZE + 8]; }
};

TocRead read_toc_info(char drive) {
    TocRead r;
    r.result = QPXGetTOCInfo(drive, &r.count, r.summary.data(), r.records.data());
    return r;
}

std::string toc_text(char drive, std::uint32_t size = 1024, int* result = nullptr) {
    std::vector<char> buffer(size + 1, 'x');
    const int r = QPXGetTOC(drive, buffer.data(), size);
    if (result) *result = r;
    EXPECT_EQ(buffer[size], 'x');  // nothing past the buffer
    return std::string(buffer.data());
}

class DiscToc : public CdLibraryTest {};

TEST_F(DiscToc, MixedDiscAsCdInfoReadsIt) {
    const auto& disc = test_discs().mixed;
    const char d = attach(disc.cue);
    const auto r = read_toc_info(d);
    ASSERT_EQ(r.result, 1);
    EXPECT_EQ(r.count, 3);
    EXPECT_EQ(r.first(), 1);
    EXPECT_EQ(r.last(), 3);
    const auto expected = cd_info_tracks(disc.cue);
    ASSERT_EQ(expected.size(), 4u);
    EXPECT_EQ(r.lead_out(), expected[3].lsn);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(r.start(i), expected[i].lsn);
        EXPECT_EQ(r.control(i), expected[i].type == "data" ? 0x41 : 0x01);  // CONTROL high, ADR low
        // End and title stay the caller's.
        const std::uint8_t* node = r.records.data() + i * QPX_TRACK_NODE_SIZE;
        EXPECT_TRUE(std::all_of(node + 4, node + 8, [](auto b) { return b == 0xEE; }));
        EXPECT_TRUE(std::all_of(node + 9, node + QPX_TRACK_NODE_SIZE, [](auto b) { return b == 0xEE; }));
    }
    EXPECT_EQ(r.records[3 * QPX_TRACK_NODE_SIZE], 0xEE);

    int result = 0;
    EXPECT_EQ(toc_text(d, 1024, &result), cd_info_toc_text(disc.cue));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(toc_text(d), std::to_string(disc.tracks[0].start) + " " + std::to_string(disc.tracks[1].start) + " " +
                               std::to_string(disc.tracks[2].start) + " " + std::to_string(disc.lead_out));
}

TEST_F(DiscToc, AudioSessionThenDataTrackReportsFirstThirteenLastTwelve) {
    const auto& disc = test_discs().cd_extra;
    const char d = attach(disc.cue);
    const auto r = read_toc_info(d);
    ASSERT_EQ(r.result, 1);
    EXPECT_EQ(r.count, 13);
    EXPECT_EQ(r.first(), 13);
    EXPECT_EQ(r.last(), 12);
    EXPECT_EQ(r.control(11), 0x01);
    EXPECT_EQ(r.control(12), 0x41);
    EXPECT_EQ(r.start(12), disc.tracks[12].start);
    EXPECT_EQ(toc_text(d), cd_info_toc_text(disc.cue));
}

TEST_F(DiscToc, CheckTocKnowsTheDiscByItsText) {
    const char mixed = attach(test_discs().mixed.cue);
    const char shorter = attach(test_discs().shorter.cue);
    const std::string text = cd_info_toc_text(test_discs().mixed.cue);
    // Same track count and starts, another lead-out.
    ASSERT_EQ(read_toc_info(shorter).count, read_toc_info(mixed).count);
    ASSERT_EQ(read_toc_info(shorter).start(2), read_toc_info(mixed).start(2));
    EXPECT_EQ(QPXCheckTOC(mixed, text.c_str()), 1);
    EXPECT_EQ(QPXCheckTOC(shorter, text.c_str()), 0);
    EXPECT_EQ(QPXCheckTOC(mixed, (text + " ").c_str()), 0);
    EXPECT_EQ(QPXCheckTOC('Q', text.c_str()), 0);
    EXPECT_EQ(QPXCheckTOC(mixed, nullptr), 0);
}

TEST_F(DiscToc, TextStopsAtTheLastWholeNumberThatFits) {
    const auto& disc = test_discs().mixed;
    const char d = attach(disc.cue);
    const std::string full = toc_text(d);
    const std::string without_lead_out = full.substr(0, full.rfind(' '));
    const std::string first_only = full.substr(0, full.find(' '));
    struct Case {
        std::uint32_t size;
        std::string expected;
    } cases[] = {
        {static_cast<std::uint32_t>(full.size() + 1), full},
        {static_cast<std::uint32_t>(full.size()), without_lead_out},
        {static_cast<std::uint32_t>(first_only.size() + 1), first_only},
        {1, ""},
    };
    for (const Case& c : cases) {
        int result = 0;
        EXPECT_EQ(toc_text(d, c.size, &result), c.expected) << c.size;
        EXPECT_EQ(result, 1);
    }
    int result = 1;
    EXPECT_EQ(toc_text('Q', 64, &result), "");
    EXPECT_EQ(result, 0);
}

TEST_F(DiscToc, MoreTracksThanRecordsAreRefusedWithoutWritingPastThem) {
    std::vector<DiscTrackRecipe> tracks(71, DiscTrackRecipe::audio(0.2, 500));
    const auto over = make_cue_bin_disc(test_discs().dir, "tracks71", tracks);
    tracks.pop_back();
    const auto full = make_cue_bin_disc(test_discs().dir, "tracks70", tracks);
    ASSERT_EQ(cd_info_tracks(over.cue).size(), 72u);

    const char o = attach(over.cue);
    const auto refused = read_toc_info(o);
    EXPECT_EQ(refused.result, 0);
    EXPECT_EQ(refused.count, 0xBEEF);
    EXPECT_TRUE(std::all_of(refused.records.begin(), refused.records.end(), [](auto b) { return b == 0xEE; }));
    EXPECT_EQ(QPXCheckTOC(o, cd_info_toc_text(over.cue).c_str()), 0);

    const char d = attach(full.cue);
    const auto accepted = read_toc_info(d);
    ASSERT_EQ(accepted.result, 1);
    EXPECT_EQ(accepted.count, 70);
    EXPECT_EQ(accepted.start(69), full.tracks[69].start);
    EXPECT_EQ(accepted.records[QPX_TRACK_TABLE_SIZE], 0xEE);
    EXPECT_EQ(toc_text(d), cd_info_toc_text(full.cue));
}

}  // namespace
}  // namespace qpx::testing
