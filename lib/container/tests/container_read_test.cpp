// Reading sectors from small containers made by the writer: every type and
// storage, the block layout, raw sectors, defect maps and the two-session case.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "qpx/container/byte_order.h"
#include "qpx/container/errors.h"
#include "qpx/container/sector_reader.h"
#include "qpx/container_writer/container_writer.h"
#include "support/iso_fixture.h"
#include "support/temp_dir.h"
#include "test_sectors.h"

namespace qpx::container {
namespace {

using container_writer::ContainerPlan;
using container_writer::MemorySectorSource;
using container_writer::RawSectorAdapter;
using container_writer::audio_track;
using container_writer::data_track;
using container_writer::TrackPlan;
using container_writer::write_container;
using test::numbered_sectors;
using test::open_or_fail;
using test::sector_of;

using Sector = std::array<std::uint8_t, 2048>;
using RawSector = std::array<std::uint8_t, 2352>;

bool all_zero(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

class ContainerRead : public ::testing::Test {
protected:
    qpx::testing::TempDir dir_{"cread"};
};

TEST_F(ContainerRead, SingleTrackTypesServeZerosThenStoredSectors) {
    const auto disc = numbered_sectors(70);
    MemorySectorSource source(disc, 2048);
    for (ContainerType type : {ContainerType::plain, ContainerType::normal_blocks, ContainerType::maximal_blocks}) {
        ContainerPlan plan;
        plan.type = type;
        plan.sectors = &source;
        const auto path = dir_ / ("single" + std::to_string(int(type)) + ".qim");
        write_container(plan, path);
        SectorReader reader(open_or_fail(path));
        Sector out{};
        for (std::uint32_t s = 0; s < 16; ++s) {
            out.fill(0xEE);
            ASSERT_FALSE(reader.read(s, out));
            EXPECT_TRUE(all_zero(out)) << "type " << int(type) << " sector " << s;
        }
        for (std::uint32_t s = 16; s < 70; ++s) {
            ASSERT_FALSE(reader.read(s, out)) << "type " << int(type) << " sector " << s;
            ASSERT_TRUE(std::equal(out.begin(), out.end(), sector_of(disc, s).begin())) << s;
        }
        EXPECT_EQ(reader.read(70, out), Errc::medium_error) << "type " << int(type);
    }
}

TEST_F(ContainerRead, PlainSectorSixteenIsTheFirstStoredBlockAfterTheHeader) {
    const auto disc = numbered_sectors(20);
    MemorySectorSource source(disc, 2048);
    ContainerPlan plan;
    plan.sectors = &source;
    write_container(plan, dir_ / "p.qim");
    // Replace the bytes right after B = 512 and read them back as sector 16.
    const auto marker = test::noise_sectors(1, 3);
    test::patch_file(dir_ / "p.qim", 512, marker);
    SectorReader reader(open_or_fail(dir_ / "p.qim"));
    Sector out{};
    ASSERT_FALSE(reader.read(16, out));
    EXPECT_TRUE(std::equal(out.begin(), out.end(), marker.begin()));
}

TEST_F(ContainerRead, StoredTocTypesStartAtSectorZero) {
    const auto disc = numbered_sectors(40);
    MemorySectorSource source(disc, 2048);
    for (ContainerType type : {ContainerType::toc_plain, ContainerType::toc_normal_blocks}) {
        ContainerPlan plan;
        plan.type = type;
        plan.sectors = &source;
        const auto path = dir_ / ("toc" + std::to_string(int(type)) + ".qim");
        write_container(plan, path);
        auto container = open_or_fail(path);
        ASSERT_EQ(container->stored_toc().size(), 804u);
        EXPECT_EQ(container->stored_toc()[6], 1);      // track 1
        EXPECT_EQ(container->stored_toc()[14], 0xAA);  // lead-out
        SectorReader reader(container);
        Sector out{};
        for (std::uint32_t s = 0; s < 40; ++s) {
            ASSERT_FALSE(reader.read(s, out)) << s;
            ASSERT_TRUE(std::equal(out.begin(), out.end(), sector_of(disc, s).begin())) << s;
        }
    }
}

TEST_F(ContainerRead, ThirtyThreeSectorTrackHasFourIndexEntries) {
    // Data track at 100..133: three blocks, the last holding one sector.
    const auto disc = numbered_sectors(33, 2048, 100);
    MemorySectorSource source(disc, 2048);
    ContainerPlan plan;
    plan.type = ContainerType::track_table;
    plan.tracks.push_back(data_track(100, 133, Storage::normal, source));
    write_container(plan, dir_ / "t.qim");

    auto container = open_or_fail(dir_ / "t.qim");
    const std::uint32_t index_at = container->track_nodes()[0].data_offset();
    EXPECT_EQ(index_at, 512u + 9590u);
    EXPECT_EQ(test::read_le32(dir_ / "t.qim", index_at), index_at + 16);  // 4 entries
    SectorReader reader(container);
    Sector out{};
    for (std::uint32_t s = 100; s < 133; ++s) {
        ASSERT_FALSE(reader.read(s, out)) << s;
        EXPECT_EQ(load_le32(out, 0), s);
    }
    // The last block decodes to exactly one sector.
    const std::uint32_t last_begin = test::read_le32(dir_ / "t.qim", index_at + 8);
    const std::uint32_t last_end = test::read_le32(dir_ / "t.qim", index_at + 12);
    const std::uint16_t head = test::read_le16(dir_ / "t.qim", last_begin);
    if ((head & 0x8000) == 0) {
        EXPECT_EQ(head, 2047);
        EXPECT_EQ(last_end - last_begin, 2u + 2048u);
    } else {
        EXPECT_EQ(last_end - last_begin, 2u + (head & 0x7FFF));
    }
    EXPECT_EQ(reader.read(133, out), Errc::not_found);  // the end sector holds nothing
}

TEST_F(ContainerRead, IncompressibleBlockIsStoredWithHead7FFF) {
    auto disc = numbered_sectors(48);
    const auto noise = test::noise_sectors(16, 11);
    std::copy(noise.begin(), noise.end(), disc.begin() + 16 * 2048);  // block 0 = sectors 16..31
    MemorySectorSource source(disc, 2048);
    for (ContainerType type : {ContainerType::normal_blocks, ContainerType::maximal_blocks}) {
        ContainerPlan plan;
        plan.type = type;
        plan.sectors = &source;
        const auto path = dir_ / ("noise" + std::to_string(int(type)) + ".qim");
        write_container(plan, path);
        const std::uint32_t block0 = test::read_le32(path, 512);
        const std::uint32_t block1 = test::read_le32(path, 516);
        EXPECT_EQ(test::read_le16(path, block0), 0x7FFF);
        EXPECT_EQ(block1 - block0, 2u + 32768u);
        // Block 1 (numbered sectors) compresses: bit 15 set, length in bits 0..14.
        const std::uint16_t head1 = test::read_le16(path, block1);
        ASSERT_NE(head1 & 0x8000, 0);
        EXPECT_EQ(test::read_le32(path, 520) - block1, 2u + (head1 & 0x7FFFu));

        SectorReader reader(open_or_fail(path));
        Sector out{};
        for (std::uint32_t s = 16; s < 48; ++s) {
            ASSERT_FALSE(reader.read(s, out)) << s;
            ASSERT_TRUE(std::equal(out.begin(), out.end(), sector_of(disc, s).begin())) << s;
        }
    }
}

TEST_F(ContainerRead, Korrektur1WithEmptyDefectMapHasItsDataAt516) {
    const auto disc = numbered_sectors(40);
    MemorySectorSource source(disc, 2048);
    // Single track: the data area starts at B = 516.
    ContainerPlan plain;
    plain.disc_format = disc_format::korrektur1;
    plain.defect_map_bytes = 0;
    plain.sectors = &source;
    write_container(plain, dir_ / "k0.qim");
    auto c0 = open_or_fail(dir_ / "k0.qim");
    EXPECT_TRUE(c0->has_defect_map());
    EXPECT_EQ(c0->defect_map().size(), 0u);
    EXPECT_EQ(c0->base_offset(), 516u);
    EXPECT_EQ(test::read_le32(dir_ / "k0.qim", 516), 16u);  // sector 16 begins with its number
    BlockCache cache;
    Sector out{};
    ASSERT_FALSE(c0->read_sector(39, out, cache));
    EXPECT_EQ(load_le32(out, 0), 39u);

    // Track table: the nodes start at 516.
    ContainerPlan table;
    table.type = ContainerType::track_table;
    table.disc_format = disc_format::korrektur1;
    table.defect_map_bytes = 0;
    table.tracks.push_back(data_track(0, 40, Storage::maximal, source));
    write_container(table, dir_ / "k1.qim");
    EXPECT_EQ(test::read_le32(dir_ / "k1.qim", 516 + 4), 40u);  // node 0's end
    auto c1 = open_or_fail(dir_ / "k1.qim");
    EXPECT_EQ(c1->track_nodes()[0].end, 40u);
    ASSERT_FALSE(c1->read_sector(25, out, cache));
    EXPECT_EQ(load_le32(out, 0), 25u);
}

TEST_F(ContainerRead, DefectMapMarksSectorsAsUnreadable) {
    const auto disc = numbered_sectors(64);
    MemorySectorSource source(disc, 2048);
    ContainerPlan plan;
    plan.type = ContainerType::normal_blocks;
    plan.disc_format = disc_format::korrektur1;
    plan.sectors = &source;
    plan.defective_sectors = {17, 40, 63};
    write_container(plan, dir_ / "d.qim");
    auto container = open_or_fail(dir_ / "d.qim");
    EXPECT_EQ(container->defect_map().size(), 64u / 8 + 1);
    EXPECT_EQ(container->base_offset(), 516u + 9);
    BlockCache cache;
    Sector out{};
    for (std::uint32_t s = 16; s < 64; ++s) {
        const bool marked = s == 17 || s == 40 || s == 63;
        EXPECT_EQ(container->defect_map().is_marked(s), marked) << s;
        EXPECT_EQ(container->read_sector(s, out, cache),
                  marked ? std::error_code(Errc::defective_sector) : std::error_code())
            << s;
    }
    // A run of sectors stops at the marked one and tells how far it got.
    std::vector<std::uint8_t> run(8 * 2048);
    std::uint32_t done = 0;
    EXPECT_EQ(container->read_sectors(36, run, cache, &done), Errc::defective_sector);
    EXPECT_EQ(done, 4u);
    EXPECT_EQ(load_le32(run, 3 * 2048), 39u);
}

TEST_F(ContainerRead, DefectMapAboveTheHighByteIsNoMap) {
    const auto disc = numbered_sectors(20);
    MemorySectorSource source(disc, 2048);
    ContainerPlan plan;
    plan.sectors = &source;
    write_container(plan, dir_ / "h.qim");
    test::patch_le16(dir_ / "h.qim", 2, 0x0171);
    auto container = open_or_fail(dir_ / "h.qim");
    EXPECT_FALSE(container->has_defect_map());
    EXPECT_EQ(container->base_offset(), 512u);
}

TEST_F(ContainerRead, RawTracksGiveUserDataByModeByte) {
    const auto user = numbered_sectors(30);
    MemorySectorSource user_source(user, 2048);
    for (std::uint8_t mode : {1, 2}) {
        RawSectorAdapter raw(user_source, 0, mode);
        ContainerPlan plan;
        plan.type = ContainerType::track_table;
        plan.disc_format = disc_format::cdi_bridge;
        plan.tracks.push_back(data_track(0, 30, Storage::raw, raw));
        const auto path = dir_ / ("raw" + std::to_string(mode) + ".qim");
        write_container(plan, path);
        auto container = open_or_fail(path);
        EXPECT_EQ(container->header().block_size, 37632u);
        BlockCache cache;
        Sector out{};
        RawSector raw_out{};
        RawSector expected{};
        for (std::uint32_t s = 16; s < 30; ++s) {
            ASSERT_FALSE(container->read_sector(s, out, cache)) << s;
            ASSERT_TRUE(std::equal(out.begin(), out.end(), sector_of(user, s).begin())) << s;
            ASSERT_FALSE(container->read_raw_sector(s, raw_out, cache));
            container_writer::make_raw_sector(s, mode, sector_of(user, s), expected);
            EXPECT_EQ(raw_out, expected) << s;
        }
        ASSERT_FALSE(container->read_raw_sector(3, raw_out, cache));
        EXPECT_TRUE(all_zero(raw_out));
    }
}

TEST_F(ContainerRead, RawSectorWithAnotherModeByteFails) {
    const auto user = numbered_sectors(20);
    MemorySectorSource user_source(user, 2048);
    RawSectorAdapter raw(user_source, 0, 1);
    ContainerPlan plan;
    plan.type = ContainerType::track_table;
    plan.disc_format = disc_format::korrektur2;
    plan.tracks.push_back(data_track(0, 20, Storage::raw, raw));
    write_container(plan, dir_ / "m.qim");
    auto container = open_or_fail(dir_ / "m.qim");
    const std::uint64_t sector17 = container->track_nodes()[0].data_offset() + 2352;
    for (std::uint8_t mode : {0, 3, 0xFF}) {
        test::patch_file(dir_ / "m.qim", sector17 + 15, std::array<std::uint8_t, 1>{mode});
        auto reopened = open_or_fail(dir_ / "m.qim");
        BlockCache cache;
        Sector out{};
        EXPECT_EQ(reopened->read_sector(17, out, cache), Errc::wrong_track_mode) << int(mode);
        EXPECT_FALSE(reopened->read_sector(18, out, cache));
        RawSector raw_out{};
        EXPECT_FALSE(reopened->read_raw_sector(17, raw_out, cache));  // raw reads still work
    }
}

TEST_F(ContainerRead, UserDataTracksRefuseRawReadsAndAudioTracksRefuseBoth) {
    const auto disc = numbered_sectors(40);
    MemorySectorSource source(disc, 2048);
    ContainerPlan plan;
    plan.type = ContainerType::track_table;
    plan.disc_format = disc_format::mixed_mode;
    plan.tracks.push_back(data_track(0, 40, Storage::plain, source));
    plan.tracks.push_back(audio_track(41, 500, "Track 02.wav"));
    write_container(plan, dir_ / "mix.qim");
    auto container = open_or_fail(dir_ / "mix.qim");
    EXPECT_EQ(container->track_nodes()[1].safe_wave_file_name().value_or(""), "Track 02.wav");
    EXPECT_EQ(container->header().total_bytes, 40u * 2048 + 459u * 2352);
    BlockCache cache;
    Sector out{};
    RawSector raw{};
    EXPECT_EQ(container->read_raw_sector(20, raw, cache), Errc::wrong_track_mode);
    EXPECT_EQ(container->read_sector(100, out, cache), Errc::wrong_track_mode);
    EXPECT_EQ(container->read_raw_sector(100, raw, cache), Errc::wrong_track_mode);
    EXPECT_EQ(container->read_sector(40, out, cache), Errc::not_found);
}

TEST_F(ContainerRead, TwoSessionContainerReadsFromNodeFour) {
    qpx::testing::make_wave_file(dir_ / "tone.wav", 0.2);
    const auto data = numbered_sectors(50, 2048, 30000);
    MemorySectorSource source(data, 2048);
    ContainerPlan plan;
    plan.type = ContainerType::track_table;
    plan.disc_format = disc_format::cd_extra;
    for (std::uint32_t i = 0; i < 4; ++i)
        plan.tracks.push_back(audio_track(i * 5000, (i + 1) * 5000, "Track 0" + std::to_string(i + 1) + ".wav",
                                          dir_ / "tone.wav"));
    // The data session's node overlaps the audio nodes' range on purpose:
    // in this layout only node 4 is consulted.
    plan.tracks.push_back(data_track(30000, 30050, Storage::normal, source));
    plan.first_track = 5;
    plan.last_track = 4;
    plan.last_track_start = 30000;
    write_container(plan, dir_ / "extra.qim");
    EXPECT_TRUE(std::filesystem::exists(dir_ / "Track 04.wav"));

    auto container = open_or_fail(dir_ / "extra.qim");
    EXPECT_TRUE(container->header().is_two_session());
    EXPECT_EQ(container->header().last_track_start, 30000u);
    SectorReader reader(container);
    Sector out{};
    for (std::uint32_t s = 30000; s < 30050; ++s) {
        ASSERT_FALSE(reader.read(s, out)) << s;
        ASSERT_TRUE(std::equal(out.begin(), out.end(), sector_of(data, s - 30000).begin())) << s;
    }
    EXPECT_EQ(reader.read(100, out), Errc::not_found);  // inside audio node 0, but not consulted
}

TEST_F(ContainerRead, BlockCacheIsKeyedByContainer) {
    // Two containers of the same layout but different data share one cache.
    const auto a = numbered_sectors(40, 2048, 0);
    const auto b = numbered_sectors(40, 2048, 1000);
    MemorySectorSource sa(a, 2048), sb(b, 2048);
    ContainerPlan plan;
    plan.type = ContainerType::normal_blocks;
    plan.sectors = &sa;
    write_container(plan, dir_ / "a.qim");
    plan.sectors = &sb;
    write_container(plan, dir_ / "b.qim");
    auto ca = open_or_fail(dir_ / "a.qim");
    auto cb = open_or_fail(dir_ / "b.qim");
    BlockCache shared;
    Sector out{};
    for (int round = 0; round < 2; ++round) {
        ASSERT_FALSE(ca->read_sector(20, out, shared));
        EXPECT_EQ(load_le32(out, 0), 20u);
        ASSERT_FALSE(cb->read_sector(20, out, shared));
        EXPECT_EQ(load_le32(out, 0), 1020u);
    }
}

TEST_F(ContainerRead, ReadSectorsCrossesTracksAndZeroSectors) {
    const auto first = numbered_sectors(40);
    const auto second = numbered_sectors(30, 2048, 40);
    MemorySectorSource s1(first, 2048), s2(second, 2048);
    ContainerPlan plan;
    plan.type = ContainerType::track_table;
    plan.tracks.push_back(data_track(0, 40, Storage::plain, s1));
    plan.tracks.push_back(data_track(40, 70, Storage::maximal, s2));
    write_container(plan, dir_ / "two.qim");
    SectorReader reader(open_or_fail(dir_ / "two.qim"));
    // Sector 40 ends node 0 and starts node 1: node 1 holds its data.
    std::vector<std::uint8_t> run(40 * 2048);
    std::uint32_t done = 0;
    ASSERT_FALSE(reader.read_many(10, run, &done));
    EXPECT_EQ(done, 40u);
    EXPECT_TRUE(all_zero(std::span(run).first(6 * 2048)));
    for (std::uint32_t i = 6; i < 40; ++i) EXPECT_EQ(load_le32(run, i * 2048), 10 + i);
    EXPECT_EQ(reader.read_many(60, std::span(run).first(20 * 2048), &done), Errc::not_found);
    EXPECT_EQ(done, 10u);  // sector 70 is the last track's end
}

}  // namespace
}  // namespace qpx::container
