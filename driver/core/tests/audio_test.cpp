// PLAY AUDIO MSF, PAUSE/RESUME, stop, READ SUB-CHANNEL and the player's
// position reports, with the player channel recorded.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "container_fixtures.h"
#include "core_harness.h"
#include "qpx/container/byte_order.h"
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

Cdb play_msf(std::uint8_t m, std::uint8_t s, std::uint8_t f, std::uint8_t em, std::uint8_t es, std::uint8_t ef) {
    return {0x47, 0, 0, m, s, f, em, es, ef, 0};
}
Cdb sub_channel(std::uint8_t format, std::uint16_t allocation) {
    return {0x42, 0x02, 0x40, format, 0, 0, 0, static_cast<std::uint8_t>(allocation >> 8),
            static_cast<std::uint8_t>(allocation), 0};
}
Bytes position_report(std::uint32_t unit, std::uint32_t frames) {
    Bytes data(60, 0);
    container::store_le16(data, 8, 0x55E1);
    container::store_le32(data, 48, unit);
    container::store_le32(data, 52, frames);
    return data;
}
const Cdb kWriteBuffer = {0x3B, 1, 0, 0, 0, 0, 0, 0, 0, 0};

// A mixed-mode copy: data track 1 (0..999), audio tracks 2 (1000..2499) and 3 (2500..3999).
class Audio : public ::testing::Test {
protected:
    void SetUp() override {
        ContainerPlan plan;
        plan.type = ContainerType::track_table;
        plan.disc_format = container::disc_format::mixed_mode;
        plan.tracks = {data_track(0, 1000, Storage::plain, sectors), audio_track(1000, 2500, "Track 02.wav"),
                       audio_track(2500, 4000, "Track 03.wav")};
        container_writer::write_container(plan, path);
        core.insert(0, path);
        folder = dir.path().string() + "/";
    }
    Answer report(std::uint32_t unit, std::uint32_t frames) {
        return core.send({0, 1, 0}, kWriteBuffer, 0, position_report(unit, frames));
    }

    testing::TempDir dir{"audio"};
    container_writer::MemorySectorSource sectors = numbered_sectors(1000);
    std::filesystem::path path = dir / "mixed.qim";
    std::string folder;
    CoreHarness core;
};

TEST_F(Audio, PlayStartsTheTrackHoldingTheStartAtItsFrameOffset) {
    // Track 2 starts at LBA 1000 = 00:15:25.
    struct Case {
        Cdb cdb;
        std::uint32_t offset;
        const char* wave;
    };
    const Case cases[] = {
        {play_msf(0, 15, 25, 0, 40, 0), 0, "Track 02.wav"},
        {play_msf(0, 17, 25, 0, 40, 0), 150, "Track 02.wav"},
        {play_msf(0, 35, 25, 0, 50, 0), 0, "Track 03.wav"},
        {play_msf(0, 40, 0, 0, 50, 0), 350, "Track 03.wav"},
    };
    for (const Case& c : cases) {
        core.player.commands.clear();
        ASSERT_TRUE(core.send_drive(0, c.cdb).good());
        ASSERT_EQ(core.player.commands.size(), 1u);
        const PlayerCommand& play = core.player.commands[0];
        EXPECT_EQ(play.code, PlayerCommandCode::play);
        EXPECT_EQ(play.unit, 8u);
        EXPECT_EQ(play.frame_offset, c.offset);
        EXPECT_EQ(play.wave_path, folder + c.wave);
    }
}

TEST_F(Audio, PlayRequestsThatCannotBePlayedAreRefused) {
    EXPECT_EQ(core.send_drive(0, play_msf(0, 1, 74, 0, 40, 0)).status, SrbStatus::invalid_request)
        << "start before the first track";
    EXPECT_EQ(core.send_drive(0, play_msf(0, 2, 0, 0, 40, 0)).status, SrbStatus::invalid_request)
        << "start on the data track";

    // A wave name that reaches out of the container's folder.
    const std::string evil = "../x.wav";
    std::vector<std::uint8_t> location(128, 0);
    std::copy(evil.begin(), evil.end(), location.begin());
    patch_bytes(path, 512 + 137 * 1 + 9, location);
    core.update(0);
    core.test_unit_ready(0);
    core.test_unit_ready(0);
    EXPECT_EQ(core.send_drive(0, play_msf(0, 15, 25, 0, 40, 0)).status, SrbStatus::invalid_request);
    EXPECT_TRUE(core.send_drive(0, play_msf(0, 35, 25, 0, 40, 0)).good()) << "track 3 is still fine";

    // A drive without a container, and one holding a single-track container.
    CoreHarness empty(2);
    EXPECT_TRUE(empty.send_drive(0, play_msf(0, 15, 25, 0, 40, 0)).check(sense::kNotReady, sense::kAscMediumNotPresent));
    write_single_track(dir / "data.qim", ContainerType::plain, sectors);
    empty.insert(1, dir / "data.qim");
    EXPECT_EQ(empty.send_drive(1, play_msf(0, 15, 25, 0, 40, 0)).status, SrbStatus::invalid_request);
    EXPECT_TRUE(empty.player.commands.empty());
    EXPECT_EQ(core.player.commands.size(), 1u);
}

TEST_F(Audio, WavePathsLongerThanThePlayRecordAreRefused) {
    const std::string deep = dir.path().string() + "/" + std::string(120, 'd');
    std::filesystem::create_directory(deep);
    std::filesystem::copy_file(path, deep + "/mixed.qim");
    core.insert(0, deep + "/mixed.qim");
    EXPECT_EQ(core.send_drive(0, play_msf(0, 15, 25, 0, 40, 0)).status, SrbStatus::invalid_request);
    EXPECT_TRUE(core.player.commands.empty());
}

TEST_F(Audio, PauseResumeStopAndTheSubChannelBlock) {
    ASSERT_TRUE(core.send_drive(0, play_msf(0, 15, 25, 0, 50, 0)).good());
    ASSERT_TRUE(report(8, 375).good());

    const Answer playing = core.send_drive(0, sub_channel(1, 16), 16);
    ASSERT_TRUE(playing.good());
    // Playing, track 2 (audio: ADR 1, control 0), relative 00:05:00, absolute 00:15:25 + 00:05:00.
    EXPECT_EQ(playing.data, (Bytes{0, 0x11, 0, 12, 1, 0x10, 2, 1, 0, 0, 20, 25, 0, 0, 5, 0}));
    EXPECT_EQ(core.send_drive(0, sub_channel(1, 6), 16).transferred, 6u);

    ASSERT_TRUE(core.send_drive(0, {0x4B, 0, 0, 0, 0, 0, 0, 0, 0, 0}).good());
    EXPECT_EQ(core.send_drive(0, sub_channel(1, 16), 16).data[1], 0x12);
    ASSERT_TRUE(core.send_drive(0, {0x4B, 0, 0, 0, 0, 0, 0, 0, 1, 0}).good());
    EXPECT_EQ(core.send_drive(0, sub_channel(1, 16), 16).data[1], 0x11);
    ASSERT_TRUE(core.send_drive(0, cdb6(0x1B, 0)).good());
    const Answer stopped = core.send_drive(0, sub_channel(1, 16), 16);
    EXPECT_EQ(stopped.data[1], 0x13);
    EXPECT_EQ(Bytes(stopped.data.begin() + 13, stopped.data.end()), (Bytes{0, 0, 0}));

    ASSERT_EQ(core.player.commands.size(), 4u);
    EXPECT_EQ(core.player.commands[1].code, PlayerCommandCode::pause);
    EXPECT_EQ(core.player.commands[1].unit, 8u);
    EXPECT_EQ(core.player.commands[2].code, PlayerCommandCode::resume);
    EXPECT_EQ(core.player.commands[3].code, PlayerCommandCode::stop);
    EXPECT_EQ(core.player.commands[3].unit, 0u);
}

TEST_F(Audio, SubChannelOfADataTrackReportsAdrControl14) {
    // Track 1 is the data track; a position on it comes from the play state.
    ASSERT_TRUE(core.send_drive(0, play_msf(0, 15, 25, 0, 50, 0)).good());
    ASSERT_TRUE(report(8, 0).good());  // track 2 ended: on to track 3
    ASSERT_TRUE(report(8, 0).good());  // track 3 ended: play completed, back to the first track
    const Answer a = core.send_drive(0, sub_channel(1, 16), 16);
    EXPECT_EQ(a.data[1], 0x13);
    EXPECT_EQ(a.data[5], 0x14);
    EXPECT_EQ(a.data[6], 1);
}

TEST_F(Audio, TrackEndsMovePlayOnUntilTheEndTrack) {
    ASSERT_TRUE(core.send_drive(0, play_msf(0, 15, 25, 0, 50, 0)).good());
    ASSERT_TRUE(report(8, 0).good());
    ASSERT_EQ(core.player.commands.size(), 2u);
    EXPECT_EQ(core.player.commands[1].code, PlayerCommandCode::play);
    EXPECT_EQ(core.player.commands[1].frame_offset, 0u);
    EXPECT_EQ(core.player.commands[1].wave_path, folder + "Track 03.wav");

    // Paused: an end report changes nothing.
    ASSERT_TRUE(core.send_drive(0, {0x4B, 0, 0, 0, 0, 0, 0, 0, 0, 0}).good());
    ASSERT_TRUE(report(8, 0).good());
    EXPECT_EQ(core.send_drive(0, sub_channel(1, 16), 16).data[1], 0x12);

    // Malformed reports are not acted on.
    EXPECT_EQ(report(3, 100).status, SrbStatus::invalid_request) << "a controller unit";
    EXPECT_EQ(report(9, 100).status, SrbStatus::invalid_request) << "no such drive";
    Bytes cut = position_report(8, 100);
    cut.resize(52);
    EXPECT_EQ(core.send({0, 1, 0}, kWriteBuffer, 0, cut).status, SrbStatus::invalid_request);
    Bytes unknown = position_report(8, 100);
    unknown[8] = 0x00;
    EXPECT_EQ(core.send({0, 1, 0}, kWriteBuffer, 0, unknown).status, SrbStatus::invalid_request);
    EXPECT_EQ(core.player.commands.size(), 3u);

    Bytes shutdown(48, 0);
    container::store_le16(shutdown, 8, 0x55E2);
    EXPECT_TRUE(core.send({0, 0, 0}, kWriteBuffer, 0, shutdown).good());
    EXPECT_EQ(core.shutdown.calls, 1);
}

}  // namespace
}  // namespace qpx::driver::test
