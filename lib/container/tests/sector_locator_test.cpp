// Where each container type and storage puts a sector.
#include <gtest/gtest.h>

#include "qpx/container/errors.h"
#include "qpx/container/sector_locator.h"

namespace qpx::container {
namespace {

constexpr std::uint64_t kBase = 516;  // a defect map of L = 0

struct SingleAreaCase {
    ContainerType type;
    std::uint32_t sector;
    AreaKind kind;
    std::uint64_t area_offset;
    std::uint64_t position;
};

TEST(SectorLocator, SingleAreaTypes) {
    const SingleAreaCase cases[] = {
        {ContainerType::plain, 0, AreaKind::zeros, 0, 0},
        {ContainerType::plain, 15, AreaKind::zeros, 0, 0},
        {ContainerType::plain, 16, AreaKind::plain, kBase, 0},
        {ContainerType::plain, 449849, AreaKind::plain, kBase, (449849ull - 16) * 2048},
        {ContainerType::normal_blocks, 15, AreaKind::zeros, 0, 0},
        {ContainerType::normal_blocks, 33, AreaKind::normal_blocks, kBase, 17 * 2048},
        {ContainerType::maximal_blocks, 48, AreaKind::maximal_blocks, kBase, 32 * 2048},
        {ContainerType::toc_plain, 0, AreaKind::plain, kBase + 804, 0},
        {ContainerType::toc_plain, 20, AreaKind::plain, kBase + 804, 20 * 2048},
        {ContainerType::toc_normal_blocks, 5, AreaKind::normal_blocks, kBase + 804, 5 * 2048},
    };
    const TrackTable nodes{};
    for (const SingleAreaCase& c : cases) {
        Header h = make_header(c.type, 0);
        SectorLocation where;
        ASSERT_FALSE(locate_sector(h, kBase, nodes, c.sector, where));
        EXPECT_EQ(where.kind, c.kind) << int(c.type) << " sector " << c.sector;
        EXPECT_EQ(where.area, kSingleArea);
        if (c.kind != AreaKind::zeros) {
            EXPECT_EQ(where.area_offset, c.area_offset) << int(c.type) << " sector " << c.sector;
            EXPECT_EQ(where.position, c.position) << int(c.type) << " sector " << c.sector;
            EXPECT_EQ(where.stride, 2048u);
        }
    }
}

TEST(SectorLocator, UnknownContainerTypeIsRefused) {
    for (std::uint16_t type : {4, 7, 0x100}) {
        Header h = make_header(ContainerType::plain, 0);
        h.type = type;
        SectorLocation where;
        EXPECT_EQ(locate_sector(h, kBase, TrackTable{}, 16, where), Errc::bad_container) << type;
    }
}

// A type-5 table: data track 1 at 0..1000 (storage from the case), audio
// track 2 at 1001..2000, data track 3 at 2001..3000 (plain).
TrackTable three_tracks(Storage first_storage) {
    TrackTable nodes{};
    nodes[0].start = 0;
    nodes[0].end = 1000;
    nodes[0].storage = static_cast<std::uint8_t>(first_storage);
    nodes[0].set_data_offset(10000);
    nodes[1].start = 1001;
    nodes[1].end = 2000;
    nodes[1].storage = static_cast<std::uint8_t>(Storage::wave);
    nodes[1].set_location_text("Track 02.wav");
    nodes[2].start = 2001;
    nodes[2].end = 3000;
    nodes[2].storage = static_cast<std::uint8_t>(Storage::plain);
    nodes[2].set_data_offset(900000);
    return nodes;
}

struct TrackCase {
    std::uint16_t format;
    Storage storage;
    std::uint32_t sector;
    std::error_code error;
    AreaKind kind;
    std::uint8_t area;
    std::uint32_t stride;
    std::uint64_t area_offset;
    std::uint64_t position;
};

TEST(SectorLocator, TrackTablePositions) {
    const std::error_code ok;
    const TrackCase cases[] = {
        // Track at 0: sectors 0..15 are zeros, 16 is the first stored one.
        {0, Storage::plain, 3, ok, AreaKind::zeros, 0, 2048, 0, 0},
        {0, Storage::plain, 16, ok, AreaKind::plain, 0, 2048, 10000, 0},
        {1, Storage::normal, 999, ok, AreaKind::normal_blocks, 0, 2048, 10000, (999 - 16) * 2048ull},
        {2, Storage::maximal, 17, ok, AreaKind::maximal_blocks, 0, 2048, 10000, 2048},
        {0x71, Storage::plain, 2001, ok, AreaKind::plain, 2, 2048, 900000, 0},
        {0, Storage::plain, 2500, ok, AreaKind::plain, 2, 2048, 900000, 499 * 2048ull},
        // Disc formats 4, 5, 6 and 0x70 count 2,352 bytes per sector.
        {4, Storage::plain, 2002, ok, AreaKind::plain, 2, 2352, 900000, 2352},
        {5, Storage::plain, 20, ok, AreaKind::plain, 0, 2352, 10000, 4 * 2352},
        {6, Storage::plain, 2010, ok, AreaKind::plain, 2, 2352, 900000, 9 * 2352},
        {0x70, Storage::raw, 17, ok, AreaKind::raw, 0, 2352, 10000, 2352},
        {0x70, Storage::plain, 2003, ok, AreaKind::plain, 2, 2352, 900000, 2 * 2352},
        {0x170, Storage::plain, 2003, ok, AreaKind::plain, 2, 2048, 900000, 2 * 2048},
        // Raw storage holds 2,352-byte sectors whatever the format.
        {0, Storage::raw, 18, ok, AreaKind::raw, 0, 2352, 10000, 2 * 2352},
        // The audio track, the gaps and the end sector.
        {0, Storage::plain, 1500, Errc::wrong_track_mode, AreaKind::zeros, 0, 2048, 0, 0},
        {0, Storage::plain, 1000, Errc::not_found, AreaKind::zeros, 0, 2048, 0, 0},
        {0, Storage::plain, 3000, Errc::not_found, AreaKind::zeros, 0, 2048, 0, 0},
        {0, Storage::plain, 3001, Errc::not_found, AreaKind::zeros, 0, 2048, 0, 0},
        // Storage 4 and values above 5 are not used.
        {0, Storage{4}, 20, Errc::bad_container, AreaKind::zeros, 0, 2048, 0, 0},
        {0, Storage{9}, 20, Errc::bad_container, AreaKind::zeros, 0, 2048, 0, 0},
    };
    for (const TrackCase& c : cases) {
        Header h = make_header(ContainerType::track_table, c.format);
        h.first_track = 1;
        h.last_track = 3;
        SectorLocation where;
        const std::error_code ec = locate_sector(h, kBase, three_tracks(c.storage), c.sector, where);
        const std::string what = "format " + std::to_string(c.format) + " sector " + std::to_string(c.sector);
        ASSERT_EQ(ec, c.error) << what;
        if (ec) continue;
        EXPECT_EQ(where.kind, c.kind) << what;
        EXPECT_EQ(where.area, c.area) << what;
        if (c.kind == AreaKind::zeros) continue;
        EXPECT_EQ(where.stride, c.stride) << what;
        EXPECT_EQ(where.area_offset, c.area_offset) << what;
        EXPECT_EQ(where.position, c.position) << what;
    }
}

TEST(SectorLocator, OnlyNodesUpToTheLastTrackAreSearched) {
    Header h = make_header(ContainerType::track_table, 0);
    h.first_track = 1;
    h.last_track = 2;
    SectorLocation where;
    EXPECT_EQ(locate_sector(h, kBase, three_tracks(Storage::plain), 2500, where), Errc::not_found);
}

TEST(SectorLocator, FirstMatchingNodeWins) {
    TrackTable nodes{};
    nodes[0] = {.start = 100, .end = 200, .storage = 0, .location = {}};
    nodes[0].set_data_offset(5000);
    nodes[1] = {.start = 150, .end = 300, .storage = 0, .location = {}};
    nodes[1].set_data_offset(8000);
    Header h = make_header(ContainerType::track_table, 0);
    h.last_track = 2;
    SectorLocation where;
    ASSERT_FALSE(locate_sector(h, kBase, nodes, 160, where));
    EXPECT_EQ(where.area, 0);
    // Sector 200 is node 0's end but stored by node 1.
    ASSERT_FALSE(locate_sector(h, kBase, nodes, 200, where));
    EXPECT_EQ(where.area, 1);
    ASSERT_FALSE(locate_sector(h, kBase, nodes, 250, where));
    EXPECT_EQ(where.area, 1);
    EXPECT_EQ(where.position, 100 * 2048u);
}

TEST(SectorLocator, TwoSessionLayoutUsesTheDataSessionNode) {
    // CD-Extra: four audio tracks, data track 5 from 20000.
    TrackTable nodes{};
    for (int i = 0; i < 4; ++i) {
        nodes[i].start = i * 4000;
        nodes[i].end = (i + 1) * 4000;
        nodes[i].storage = static_cast<std::uint8_t>(Storage::wave);
    }
    nodes[4].start = 20000;
    nodes[4].end = 26000;
    nodes[4].storage = static_cast<std::uint8_t>(Storage::normal);
    nodes[4].set_data_offset(77777);
    Header h = make_header(ContainerType::track_table, disc_format::cd_extra);
    h.first_track = 5;
    h.last_track = 4;

    SectorLocation where;
    ASSERT_FALSE(locate_sector(h, kBase, nodes, 20000, where));
    EXPECT_EQ(where.area, 4);
    EXPECT_EQ(where.stride, 2048u);  // not the 2,352 of disc format 6
    EXPECT_EQ(where.position, 0u);
    ASSERT_FALSE(locate_sector(h, kBase, nodes, 25999, where));
    EXPECT_EQ(where.position, 5999 * 2048u);
    EXPECT_EQ(locate_sector(h, kBase, nodes, 100, where), Errc::not_found);  // audio area, before start
    EXPECT_EQ(locate_sector(h, kBase, nodes, 26000, where), Errc::not_found);
}

}  // namespace
}  // namespace qpx::container
