// READ(10) on small containers: raw and user-data reads of raw tracks, the
// defect map, the shared buffer sets, abort and reset, damaged containers.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "container_fixtures.h"
#include "core_harness.h"
#include "qpx/container_writer/container_writer.h"
#include "support/temp_dir.h"

namespace qpx::driver::test {
namespace {

namespace fs = std::filesystem;
using container::ContainerType;
using container::kRawSectorSize;
using container::kUserSectorSize;
using container::Storage;
using container_writer::ContainerPlan;
using container_writer::RawSectorAdapter;

class ReadPath : public ::testing::Test {
protected:
    testing::TempDir dir{"read"};
    container_writer::MemorySectorSource sectors = numbered_sectors(200);
};

TEST_F(ReadPath, RawTracksAnswerRawAndUserDataReads) {
    // Track 1 holds mode-1 sectors from 0, track 2 mode-2 sectors from 100.
    RawSectorAdapter mode1(sectors, 0, 1);
    RawSectorAdapter mode2(sectors, 100, 2);
    ContainerPlan plan;
    plan.type = ContainerType::track_table;
    plan.disc_format = container::disc_format::cdi_bridge;
    plan.tracks = {container_writer::data_track(0, 100, Storage::raw, mode1),
                   container_writer::data_track(100, 200, Storage::raw, mode2)};
    container_writer::write_container(plan, dir / "raw.qim");
    CoreHarness core;
    core.insert(0, dir / "raw.qim");

    Answer a = core.read10(0, 20, 2 * kRawSectorSize);
    ASSERT_TRUE(a.good());
    EXPECT_EQ(a.data, sector_bytes(mode1, 20, 2));
    a = core.read10(0, 20, 2 * kUserSectorSize);
    ASSERT_TRUE(a.good());
    EXPECT_EQ(a.data, sector_bytes(sectors, 20, 2));
    a = core.read10(0, 130, 2 * kUserSectorSize);  // mode 2: user data behind the sub-header
    ASSERT_TRUE(a.good());
    EXPECT_EQ(a.data, sector_bytes(sectors, 30, 2));
    a = core.read10(0, 130, kRawSectorSize);
    ASSERT_TRUE(a.good());
    EXPECT_EQ(a.data, sector_bytes(mode2, 30));
    // A read crossing from one track into the next.
    a = core.read10(0, 98, 4 * kUserSectorSize);
    ASSERT_TRUE(a.good());
    EXPECT_TRUE(std::equal(a.data.begin(), a.data.begin() + 2 * kUserSectorSize, sector_bytes(sectors, 98, 2).begin()));
    EXPECT_TRUE(std::equal(a.data.begin() + 2 * kUserSectorSize, a.data.end(), sector_bytes(sectors, 0, 2).begin()));
    // The first 16 sectors of a track at sector 0 are not stored.
    a = core.read10(0, 14, 2 * kRawSectorSize);
    ASSERT_TRUE(a.good());
    EXPECT_TRUE(std::all_of(a.data.begin(), a.data.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST_F(ReadPath, SingleTrackRequestFromSectorZeroCarriesTheStoredSectors) {
    write_single_track(dir / "one.qim", ContainerType::normal_blocks, sectors);
    CoreHarness core;
    core.insert(0, dir / "one.qim");
    const Answer a = core.read10(0, 0, 32 * kUserSectorSize);
    ASSERT_TRUE(a.good());
    EXPECT_TRUE(std::all_of(a.data.begin(), a.data.begin() + 16 * kUserSectorSize, [](std::uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::equal(a.data.begin() + 16 * kUserSectorSize, a.data.end(), sector_bytes(sectors, 16, 16).begin()));
    // Sectors 15..16: a zero sector, then the first stored one.
    const Answer b = core.read10(0, 15, 2 * kUserSectorSize);
    ASSERT_TRUE(b.good());
    EXPECT_TRUE(std::equal(b.data.begin() + kUserSectorSize, b.data.end(), sector_bytes(sectors, 16).begin()));
}

TEST_F(ReadPath, DefectMapSectorGivesAShortRead) {
    write_single_track(dir / "k1.qim", ContainerType::plain, sectors, container::disc_format::korrektur1, {40});
    CoreHarness core;
    core.insert(0, dir / "k1.qim");

    const Answer first_bad = core.read10(0, 40, 4 * kUserSectorSize);
    EXPECT_TRUE(first_bad.check(sense::kNoSense, 0x00));
    EXPECT_EQ(first_bad.transferred, 0u);

    // A request reaching the marked sector later delivers the sectors before it.
    const Answer later_bad = core.read10(0, 38, 4 * kUserSectorSize);
    EXPECT_TRUE(later_bad.check(sense::kNoSense, 0x00));
    ASSERT_EQ(later_bad.transferred, 2 * kUserSectorSize);
    EXPECT_EQ(later_bad.data, sector_bytes(sectors, 38, 2));

    const Answer after = core.read10(0, 41, 4 * kUserSectorSize);
    ASSERT_TRUE(after.good());
    EXPECT_EQ(after.data, sector_bytes(sectors, 41, 4));
}

TEST_F(ReadPath, SecondDriveIsBusyWhileTheOnlyBufferSetIsReading) {
    write_single_track(dir / "a.qim", ContainerType::normal_blocks, sectors);
    write_single_track(dir / "b.qim", ContainerType::maximal_blocks, sectors);
    write_single_track(dir / "p.qim", ContainerType::plain, sectors);
    CoreHarness core(3, 1);
    ASSERT_EQ(core.adapter.buffer_set_count(), 1u);
    core.insert(0, dir / "a.qim");
    core.insert(1, dir / "b.qim");
    core.insert(2, dir / "p.qim");

    core.work.hold();
    PendingRequest& on_a = core.start(0, read10_cdb(20, 1), kUserSectorSize);
    ASSERT_EQ(on_a.request.status, SrbStatus::pending);
    EXPECT_EQ(core.read10(1, 20, kUserSectorSize).status, SrbStatus::busy);
    EXPECT_EQ(core.read10(0, 21, kUserSectorSize).status, SrbStatus::busy) << "one read per drive";
    // A plain container needs no buffer set.
    PendingRequest& on_plain = core.start(2, read10_cdb(30, 1), kUserSectorSize);
    EXPECT_EQ(on_plain.request.status, SrbStatus::pending);

    core.work.release_all();
    EXPECT_EQ(core.completion.signals.load(), 2);
    const Answer a = core.collect(on_a);
    ASSERT_TRUE(a.good());
    EXPECT_EQ(a.data, sector_bytes(sectors, 20));
    EXPECT_TRUE(answer_of(on_plain.request).good());

    // Alternating reads hand the set from drive to drive.
    for (std::uint32_t i = 0; i < 4; ++i) {
        const std::uint32_t drive = i % 2;
        const Answer r = core.read10(drive, 50 + i, kUserSectorSize);
        ASSERT_TRUE(r.good()) << "drive " << drive;
        EXPECT_EQ(r.data, sector_bytes(sectors, 50 + i));
    }
}

TEST_F(ReadPath, AbortAndBusResetEndTheRunningReadAndReopenTheDrive) {
    write_single_track(dir / "a.qim", ContainerType::normal_blocks, sectors);
    for (const bool bus_reset : {false, true}) {
        SCOPED_TRACE(bus_reset ? "bus reset" : "abort");
        CoreHarness core;
        core.insert(0, dir / "a.qim");
        EXPECT_EQ(core.adapter.abort_command(address_of_drive(0)), SrbStatus::abort_failed) << "nothing running";

        core.work.hold();
        PendingRequest& read = core.start(0, read10_cdb(20, 1), kUserSectorSize);
        if (bus_reset)
            EXPECT_EQ(core.adapter.reset_bus(), SrbStatus::success);
        else
            EXPECT_EQ(core.adapter.abort_command(address_of_drive(0)), SrbStatus::success);
        core.work.release_all();
        const Answer aborted = core.collect(read);
        EXPECT_TRUE(aborted.check(sense::kAbortedCommand, sense::kAscResetOccurred));

        EXPECT_TRUE(core.test_unit_ready(0).check(sense::kUnitAttention, sense::kAscMediumChanged));
        const Answer again = core.read10(0, 20, kUserSectorSize);
        ASSERT_TRUE(again.good());
        EXPECT_EQ(again.data, sector_bytes(sectors, 20));
    }
}

TEST_F(ReadPath, DamagedBlockIndexIsAMediumErrorForItsBlocksOnly) {
    write_single_track(dir / "bad.qim", ContainerType::normal_blocks, sectors);
    // Entry 2 of the index at 512 ends block 1 far beyond any block's size.
    patch_le32(dir / "bad.qim", 512 + 2 * 4, 0x7FFFFFF0);
    CoreHarness core;
    core.insert(0, dir / "bad.qim");
    EXPECT_TRUE(core.read10(0, 32, kUserSectorSize).check(sense::kMediumError, 0x00));
    const Answer good = core.read10(0, 16, kUserSectorSize);
    ASSERT_TRUE(good.good());
    EXPECT_EQ(good.data, sector_bytes(sectors, 16));
}

TEST_F(ReadPath, ReadsOnTheWrongKindOfSectorAreShort) {
    ContainerPlan plan;
    plan.type = ContainerType::track_table;
    plan.disc_format = container::disc_format::mixed_mode;
    plan.tracks = {container_writer::data_track(0, 100, Storage::plain, sectors),
                   container_writer::audio_track(100, 200, "track02.wav")};
    container_writer::write_container(plan, dir / "mixed.qim");
    CoreHarness core;
    core.insert(0, dir / "mixed.qim");

    struct Case {
        const char* what;
        std::uint32_t lba;
        std::size_t bytes;
        std::size_t delivered;
    };
    const Case cases[] = {
        {"audio sector", 150, kUserSectorSize, 0},
        {"into the audio track", 98, 4 * kUserSectorSize, 2 * kUserSectorSize},
        {"raw read of a 2,048-byte track", 20, kRawSectorSize, 0},
        {"beyond every track", 5000, kUserSectorSize, 0},
        {"last sector address", 0xFFFFFFFF, 2 * kUserSectorSize, 0},
    };
    for (const Case& c : cases) {
        const Answer a = core.read10(0, c.lba, c.bytes);
        EXPECT_TRUE(a.check(sense::kNoSense, 0x00)) << c.what;
        EXPECT_EQ(a.transferred, c.delivered) << c.what;
    }
    // A length that ends inside a sector gets that sector's first bytes.
    const Answer partial = core.read10(0, 20, kUserSectorSize + 100);
    ASSERT_TRUE(partial.good());
    const auto expected = sector_bytes(sectors, 20, 2);
    EXPECT_TRUE(std::equal(partial.data.begin(), partial.data.end(), expected.begin()));
    EXPECT_EQ(partial.transferred, kUserSectorSize + 100);
}

}  // namespace
}  // namespace qpx::driver::test
