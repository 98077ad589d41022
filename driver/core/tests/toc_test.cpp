// READ TOC and READ CAPACITY of each kind of container.
#include <gtest/gtest.h>

#include <vector>

#include "container_fixtures.h"
#include "core_harness.h"
#include "qpx/container_writer/container_writer.h"
#include "support/temp_dir.h"

namespace qpx::driver::test {
namespace {

using container::ContainerType;
using container::Storage;
using container_writer::audio_track;
using container_writer::ContainerPlan;
using container_writer::data_track;
using Bytes = std::vector<std::uint8_t>;

const Cdb kReadCapacity = {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0};

class Toc : public ::testing::Test {
protected:
    // Three audio tracks: 0..999, 1000..2499, 2500..3999.
    std::filesystem::path audio_cd() {
        ContainerPlan plan;
        plan.type = ContainerType::track_table;
        plan.disc_format = container::disc_format::audio;
        plan.tracks = {audio_track(0, 1000, "01.wav"), audio_track(1000, 2500, "02.wav"),
                       audio_track(2500, 4000, "03.wav")};
        const auto path = dir / "audio.qim";
        container_writer::write_container(plan, path);
        return path;
    }
    // A CD-Extra copy: two audio tracks, then the data track of session 2 at 13,400.
    std::filesystem::path cd_extra() {
        ContainerPlan plan;
        plan.type = ContainerType::track_table;
        plan.disc_format = container::disc_format::cd_extra;
        plan.tracks = {audio_track(0, 1000, "01.wav"), audio_track(1000, 2000, "02.wav"),
                       data_track(13400, 13500, Storage::plain, sectors)};
        plan.first_track = 3;
        plan.last_track = 2;
        const auto path = dir / "extra.qim";
        container_writer::write_container(plan, path);
        return path;
    }
    Answer toc(CoreHarness& core, bool msf, std::uint8_t format = 0, std::uint8_t start = 0,
               std::uint16_t allocation = 804) {
        return core.send_drive(0, read_toc_cdb(msf, format, start, allocation), 804);
    }

    testing::TempDir dir{"toc"};
    container_writer::MemorySectorSource sectors = numbered_sectors(100);
};

TEST_F(Toc, SingleTrackContainerOf614400000Bytes) {
    write_header_only(dir / "big.qim", ContainerType::plain, 614'400'000);
    CoreHarness core;
    core.insert(0, dir / "big.qim");

    const Answer lba = toc(core, false);
    ASSERT_TRUE(lba.good());
    EXPECT_EQ(lba.data, (Bytes{0x00, 0x12, 1, 1,                                  //
                               0, 0x14, 1, 0, 0x00, 0x00, 0x00, 0x00,             //
                               0, 0x14, 0xAA, 0, 0x00, 0x04, 0x93, 0xE0}));
    // In MSF form: LBA 0 is 00:02:00, LBA 300,000 is 66:42:00.
    const Answer msf = toc(core, true);
    ASSERT_TRUE(msf.good());
    EXPECT_EQ(Bytes(msf.data.begin() + 8, msf.data.begin() + 12), (Bytes{0, 0, 2, 0}));
    EXPECT_EQ(Bytes(msf.data.begin() + 16, msf.data.end()), (Bytes{0, 66, 42, 0}));

    const Answer capacity = core.send_drive(0, kReadCapacity, 8);
    ASSERT_TRUE(capacity.good());
    EXPECT_EQ(capacity.data, (Bytes{0x00, 0x04, 0x93, 0xDF, 0x00, 0x00, 0x08, 0x00}));
}

TEST_F(Toc, ThreeTrackAudioContainer) {
    CoreHarness core;
    core.insert(0, audio_cd());
    const Answer a = toc(core, true);
    ASSERT_TRUE(a.good());
    ASSERT_EQ(a.transferred, 36u);
    EXPECT_EQ(a.data, (Bytes{0x00, 0x22, 1, 3,                      //
                             0, 0x10, 1, 0, 0, 0, 2, 0,             // 00:02:00
                             0, 0x10, 2, 0, 0, 0, 15, 25,           // LBA 1000 + 150 frames
                             0, 0x10, 3, 0, 0, 0, 35, 25,           // LBA 2500
                             0, 0x10, 0xAA, 0, 0, 0, 55, 25}));     // lead-out, LBA 4000

    // Starting track and allocation length.
    const Answer from3 = toc(core, false, 0, 3);
    ASSERT_TRUE(from3.good());
    EXPECT_EQ(from3.data, (Bytes{0x00, 0x12, 1, 3,                           //
                                 0, 0x10, 3, 0, 0x00, 0x00, 0x09, 0xC4,      // 2500
                                 0, 0x10, 0xAA, 0, 0x00, 0x00, 0x0F, 0xA0})); // 4000
    const Answer lead_out_only = toc(core, false, 0, 0xAA);
    EXPECT_EQ(lead_out_only.transferred, 12u);
    EXPECT_TRUE(toc(core, false, 0, 4).check(sense::kIllegalRequest, sense::kAscInvalidFieldInCdb));
    const Answer cut = toc(core, true, 0, 0, 12);
    ASSERT_TRUE(cut.good());
    EXPECT_EQ(cut.data, Bytes(a.data.begin(), a.data.begin() + 12)) << "the data length still tells the whole";

    const Answer capacity = core.send_drive(0, kReadCapacity, 8);
    EXPECT_EQ(capacity.data, (Bytes{0, 0, 0x0F, 0x9F, 0, 0, 8, 0}));
}

TEST_F(Toc, TwoSessionLayout) {
    CoreHarness core;
    core.insert(0, cd_extra());
    // Session information, as SCSI-2 initiators ask for it (CDB byte 9) and as MMC does (byte 2).
    Cdb scsi2 = read_toc_cdb(false, 0, 0, 12);
    scsi2[9] = 0x40;
    for (const Cdb& cdb : {scsi2, read_toc_cdb(false, 1, 0, 12)}) {
        const Answer s = core.send_drive(0, cdb, 12);
        ASSERT_TRUE(s.good());
        EXPECT_EQ(s.data, (Bytes{0x00, 0x0A, 1, 2, 0, 0x14, 3, 0, 0x00, 0x00, 0x34, 0x58}));  // LBA 13,400
    }
    const Answer s_msf = core.send_drive(0, read_toc_cdb(true, 1, 0, 12), 12);
    EXPECT_EQ(Bytes(s_msf.data.begin() + 8, s_msf.data.end()), (Bytes{0, 3, 0, 50}));

    const Answer t = toc(core, false);
    ASSERT_TRUE(t.good());
    ASSERT_EQ(t.transferred, 36u);
    EXPECT_EQ(Bytes(t.data.begin(), t.data.begin() + 4), (Bytes{0x00, 0x22, 1, 3}));
    EXPECT_EQ(Bytes(t.data.begin() + 20, t.data.begin() + 28), (Bytes{0, 0x14, 3, 0, 0x00, 0x00, 0x34, 0x58}));
    EXPECT_EQ(Bytes(t.data.begin() + 28, t.data.end()), (Bytes{0, 0x14, 0xAA, 0, 0x00, 0x00, 0x34, 0xBC}));

    // The capacity reaches the data session's last sector, which reads.
    const Answer capacity = core.send_drive(0, kReadCapacity, 8);
    EXPECT_EQ(capacity.data, (Bytes{0, 0, 0x34, 0xBB, 0, 0, 8, 0}));
    const Answer last = core.read10(0, 13499, 2048);
    ASSERT_TRUE(last.good());
    EXPECT_EQ(last.data, sector_bytes(sectors, 99));
}

TEST_F(Toc, StoredTocContainers) {
    for (const ContainerType type : {ContainerType::toc_plain, ContainerType::toc_normal_blocks}) {
        SCOPED_TRACE(static_cast<int>(type));
        write_single_track(dir / "stored.qim", type, sectors);
        CoreHarness core;
        core.insert(0, dir / "stored.qim");
        const Answer msf = toc(core, true);
        ASSERT_TRUE(msf.good());
        EXPECT_EQ(msf.data, (Bytes{0x00, 0x12, 1, 1, 0, 0x14, 1, 0, 0, 0, 2, 0, 0, 0x14, 0xAA, 0, 0, 0, 3, 25}));
        const Answer lba = toc(core, false);
        EXPECT_EQ(Bytes(lba.data.begin() + 16, lba.data.end()), (Bytes{0, 0, 0, 100}));
        EXPECT_EQ(core.send_drive(0, kReadCapacity, 8).data, (Bytes{0, 0, 0, 99, 0, 0, 8, 0}));
        const Answer first = core.read10(0, 0, 2048);
        ASSERT_TRUE(first.good());
        EXPECT_EQ(first.data, sector_bytes(sectors, 0)) << "these types store sectors from 0";
    }
}

TEST_F(Toc, NoMediumNoTableOfContents) {
    write_header_only(dir / "big.qim", ContainerType::plain, 614'400'000);
    CoreHarness core;
    core.set_drive_list({(dir / "big.qim").string()});
    core.work.hold();
    core.test_unit_ready(0);  // opening queued, not run
    EXPECT_TRUE(toc(core, false).check(sense::kNotReady, sense::kAscMediumNotPresent));
    EXPECT_TRUE(core.send_drive(0, kReadCapacity, 8).check(sense::kNotReady, sense::kAscMediumNotPresent));
    core.work.release_all();
    EXPECT_TRUE(toc(core, false).good()) << "READ TOC does not wait for the unit attention";
}

}  // namespace
}  // namespace qpx::driver::test
