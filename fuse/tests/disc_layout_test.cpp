// Tables of contents as drives give them, and what the view makes of them:
// track extents, file sizes, cue times, and the names it answers to.
#include <gtest/gtest.h>

#include "cue_sheet.h"
#include "disc_layout.h"
#include "view_path.h"

namespace qpx::fuse_view {
namespace {

cdrom::TocDescriptor data(std::uint8_t track, std::uint32_t lba) { return {0x14, track, lba}; }
cdrom::TocDescriptor audio(std::uint8_t track, std::uint32_t lba) { return {0x10, track, lba}; }
cdrom::TocDescriptor lead_out(std::uint32_t lba) { return {0x10, cdrom::kLeadOutTrack, lba}; }

cdrom::Toc toc(std::vector<cdrom::TocDescriptor> d) {
    cdrom::Toc t;
    t.first_track = d.empty() ? 0 : d.front().track;
    t.last_track = d.size() > 1 ? d[d.size() - 2].track : 0;
    t.descriptors = std::move(d);
    return t;
}

TEST(DiscLayout, TracksReachToTheNextTrackAndTheFirstDataTrackIsTheIso) {
    // An audio track before the data track (as on a disc with a data session after the music).
    const auto layout = layout_of(toc({audio(1, 0), audio(2, 1000), data(3, 2500), lead_out(4000)}));
    ASSERT_TRUE(layout);
    ASSERT_EQ(layout->tracks.size(), 3u);
    EXPECT_EQ(layout->tracks[1].start, 1000u);
    EXPECT_EQ(layout->tracks[1].sectors, 1500u);
    EXPECT_TRUE(layout->tracks[1].audio);
    ASSERT_NE(layout->data_track(), nullptr);
    EXPECT_EQ(layout->data_track()->number, 3);
    EXPECT_EQ(layout->data_iso_bytes(), 1500u * 2048);
    EXPECT_EQ(layout->image_bin_bytes(), 4000u * 2352);
}

TEST(DiscLayout, AudioDiscHasNoIso) {
    const auto layout = layout_of(toc({audio(1, 0), audio(2, 300), lead_out(900)}));
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->data_track(), nullptr);
    EXPECT_EQ(layout->data_iso_bytes(), 0u);
}

TEST(DiscLayout, UnusableTablesAreRefused) {
    const std::vector<cdrom::Toc> tables = {
        toc({}),                                     // nothing
        toc({lead_out(100)}),                        // no track
        toc({data(1, 0), audio(2, 500)}),            // no lead-out
        toc({data(1, 0), audio(2, 500), lead_out(500)}),  // empty last track
        toc({data(1, 600), audio(2, 500), lead_out(900)}),  // starts descend
        toc({data(0, 0), lead_out(900)}),            // track 0
    };
    for (const auto& t : tables) EXPECT_FALSE(layout_of(t)) << "descriptors: " << t.descriptors.size();
}

TEST(CueSheet, TimesCountFramesFromTheFileStart) {
    const std::pair<std::uint32_t, const char*> cases[] = {
        {0, "00:00:00"}, {74, "00:00:74"}, {75, "00:01:00"}, {4499, "00:59:74"}, {4500, "01:00:00"},
        {359999, "79:59:74"}};
    for (const auto& [sector, text] : cases) EXPECT_EQ(cue_time(sector), text) << sector;
}

TEST(CueSheet, TracksCarryTheirModes) {
    auto layout = layout_of(toc({data(1, 0), audio(2, 1150), lead_out(2000)}));
    ASSERT_TRUE(layout);
    layout->tracks[0].data_mode = 2;
    EXPECT_EQ(cue_sheet(*layout, "image.bin"),
              "FILE \"image.bin\" BINARY\n"
              "  TRACK 01 MODE2/2352\n"
              "    INDEX 01 00:00:00\n"
              "  TRACK 02 AUDIO\n"
              "    INDEX 01 00:15:25\n");
}

TEST(ViewPath, NamesOfTheView) {
    using K = ViewPath::Kind;
    struct Case {
        const char* path;
        bool valid;
        K kind;
        char letter;
        ViewFile file;
    };
    const Case cases[] = {
        {"/", true, K::root, 0, ViewFile::data_iso},
        {"/G", true, K::drive, 'G', ViewFile::data_iso},
        {"/Z/image.bin", true, K::file, 'Z', ViewFile::image_bin},
        {"/H/image.cue", true, K::file, 'H', ViewFile::image_cue},
        {"/g", false, K::root, 0, ViewFile::data_iso},
        {"/GH", false, K::root, 0, ViewFile::data_iso},
        {"/G/", false, K::root, 0, ViewFile::data_iso},
        {"/G/data.iso/x", false, K::root, 0, ViewFile::data_iso},
        {"/G/DATA.ISO", false, K::root, 0, ViewFile::data_iso},
        {"", false, K::root, 0, ViewFile::data_iso},
    };
    for (const Case& c : cases) {
        const auto p = parse_view_path(c.path);
        ASSERT_EQ(p.has_value(), c.valid) << c.path;
        if (!p) continue;
        EXPECT_EQ(p->kind, c.kind) << c.path;
        EXPECT_EQ(p->letter, c.letter) << c.path;
        if (c.kind == K::file) {
            EXPECT_EQ(p->file, c.file) << c.path;
        }
    }
}

}  // namespace
}  // namespace qpx::fuse_view
