// The whole road with a real qpxmport: a type-5 container whose audio
// tracks are sox-made wave files, PLAY AUDIO MSF and friends sent to the
// drive, the player engine mapping the ring and reporting back, and what it
// played compared with the waves.
#include <gtest/gtest.h>

#include <array>
#include <thread>

#include "driver_messages.h"
#include "engine_support.h"
#include "port_host_process.h"
#include "qpx/container_writer/container_writer.h"
#include "qpxdrv.h"
#include "sox_support.h"

namespace qpx::player::test {
namespace {

using namespace std::chrono_literals;
using Kind = PlayerEvent::Kind;
using Samples = std::vector<std::int16_t>;

constexpr std::uint8_t kPlaying = 0x11, kPaused = 0x12, kCompleted = 0x13;

struct Msf {
    std::uint8_t m, s, f;
};
Msf msf_of_frames(std::uint32_t frames) {
    return {static_cast<std::uint8_t>(frames / 4500), static_cast<std::uint8_t>(frames / 75 % 60),
            static_cast<std::uint8_t>(frames % 75)};
}

class PlayerRoad : public ::testing::Test {
protected:
    // Tracks of the given seconds (whole CD frames), track 1 at 00:02:00.
    void insert_disc(const std::vector<std::filesystem::path>& waves, const std::vector<std::uint32_t>& frames) {
        container_writer::ContainerPlan plan;
        plan.type = container::ContainerType::track_table;
        plan.disc_format = container::disc_format::audio;
        std::uint32_t lba = 0;
        for (std::size_t i = 0; i < waves.size(); ++i) {
            plan.tracks.push_back(container_writer::audio_track(lba, lba + frames[i],
                                                                "Track " + std::to_string(i + 1) + ".wav", waves[i]));
            lba += frames[i];
        }
        const auto disc = dir / "disc" / "audio.qim";
        std::filesystem::create_directories(disc.parent_path());
        container_writer::write_container(plan, disc);
        ASSERT_EQ(QPXSetContainerFiles((disc.string() + ";").c_str()), 0);
        qpx::testing::configure_port_host(1);
        host = std::make_unique<qpx::testing::PortHostProcess>();
        ASSERT_TRUE(host->wait_ready()) << host->log();
        const auto port = PortLink::find_port();
        ASSERT_TRUE(port);
        ASSERT_FALSE(devices::open_device("\\\\.\\Scsi" + std::to_string(*port) + ":", device));
        bool ready = false;
        for (int i = 0; i < 200 && !ready; ++i) {
            ready = scsi({0x00, 0, 0, 0, 0, 0}, 0) == devices::kSrbSuccess;
            if (!ready) std::this_thread::sleep_for(10ms);
        }
        ASSERT_TRUE(ready) << "the drive never became ready";
        player = std::make_unique<EngineHarness>(heard, &PortLink::map_ring, &link);
        ASSERT_TRUE(player->run_until([&] { return player->count(Kind::ring_mapped) == 1; }, 5s));
    }
    void TearDown() override {
        player.reset();
        if (host) {
            EXPECT_EQ(host->stop(), 0) << host->log();
        }
    }

    // A command to drive 0 (bus 1, target 0); its request status.
    std::uint8_t scsi(std::vector<std::uint8_t> cdb, std::size_t data_in, std::vector<std::uint8_t>* data = nullptr,
                      std::uint8_t bus = 1, std::uint8_t target = 0, std::vector<std::uint8_t> data_out = {}) {
        std::vector<std::uint8_t> buffer = data_out.empty() ? std::vector<std::uint8_t>(data_in) : data_out;
        std::array<std::uint8_t, 32> sense{};
        devices::PassThroughDirect r;
        r.bus = bus;
        r.target = target;
        r.cdb = cdb;
        r.direction = data_out.empty() ? (data_in ? devices::DataDirection::in : devices::DataDirection::none)
                                       : devices::DataDirection::out;
        r.data = buffer;
        r.sense = sense;
        if (device.pass_through_direct(r)) return 0;
        if (data) *data = buffer;
        return r.srb_status;
    }
    std::uint8_t play(Msf start, Msf end) {
        return scsi({0x47, 0, 0, start.m, start.s, start.f, end.m, end.s, end.f, 0}, 0);
    }
    std::uint8_t pause_resume(bool resume) { return scsi({0x4B, 0, 0, 0, 0, 0, 0, 0, resume, 0}, 0); }
    // READ SUB-CHANNEL's current-position block.
    std::vector<std::uint8_t> sub_channel() {
        std::vector<std::uint8_t> data;
        EXPECT_EQ(scsi({0x42, 0x02, 0x40, 1, 0, 0, 0, 0, 16, 0}, 16, &data), devices::kSrbSuccess);
        return data;
    }
    std::uint8_t audio_status() { return sub_channel().at(1); }
    bool ends_reported(std::size_t n) {
        std::size_t ends = 0;
        for (const Report& r : player->reports()) ends += r.frames == 0;
        return ends >= n;
    }

    qpx::testing::ScopedMachineRoot root;
    qpx::testing::TempDir dir{"player-road"};
    std::filesystem::path heard = dir / "heard.raw";
    std::unique_ptr<qpx::testing::PortHostProcess> host;
    devices::Device device;
    PortLink link;
    std::unique_ptr<EngineHarness> player;
};

Samples joined(const Samples& a, const Samples& b) {
    Samples all = a;
    all.insert(all.end(), b.begin(), b.end());
    return all;
}

TEST_F(PlayerRoad, PlaysTrackAfterTrackPausesResumesAndCompletes) {
    const auto one = make_wave(dir.path(), "one.wav", 8.0);
    const auto two = make_wave(dir.path(), "two.wav", 2.0);
    ASSERT_NO_FATAL_FAILURE(insert_disc({one, two}, {600, 150}));

    // 00:02:00 is the first sample of track 1; play to the end of track 2.
    ASSERT_EQ(play({0, 2, 0}, {0, 11, 74}), devices::kSrbSuccess);
    EXPECT_EQ(audio_status(), kPlaying);
    ASSERT_TRUE(player->run_until([&] {
        const auto r = player->reports();
        return !r.empty() && r.back().frames >= 375;
    }));

    ASSERT_EQ(pause_resume(false), devices::kSrbSuccess);
    ASSERT_TRUE(player->run_until([&] { return player->count(Kind::paused) == 1; }));
    const auto reports = player->reports();
    const auto held = player->sink.total_played_frames();
    player->run_for(2s);
    EXPECT_EQ(player->reports().size(), reports.size()) << "no reports while paused";
    EXPECT_EQ(player->sink.total_played_frames(), held) << "no sound while paused";
    // The drive tells the position of the last report: 375 frames and more
    // are 00:05:00 and more into track 1.
    const auto block = sub_channel();
    EXPECT_EQ(block[1], kPaused);
    EXPECT_EQ(block[6], 1) << "track 1";
    const Msf relative = msf_of_frames(reports.back().frames);
    EXPECT_EQ((std::array{block[13], block[14], block[15]}), (std::array{relative.m, relative.s, relative.f}));
    EXPECT_GE(block[14], 5);

    ASSERT_EQ(pause_resume(true), devices::kSrbSuccess);
    ASSERT_TRUE(player->run_until([&] { return ends_reported(1); }));
    EXPECT_EQ(sub_channel()[6], 2) << "the end of track 1 moved play on to track 2";
    EXPECT_EQ(audio_status(), kPlaying);
    ASSERT_TRUE(player->run_until([&] { return ends_reported(2); }));
    EXPECT_EQ(audio_status(), kCompleted) << "the end of the end track completes the play";
    EXPECT_TRUE(read_raw_samples(heard) == joined(sox_decoding(one), sox_decoding(two)))
        << "both tracks whole, nothing lost or repeated around the pause";
}

TEST_F(PlayerRoad, CompressedWavesPlayFromTheirOffsetAsSoxDecodesThem) {
    const char* encodings[] = {"ima-adpcm", "ms-adpcm", "gsm-full-rate"};
    std::vector<std::filesystem::path> waves;
    for (const char* e : encodings) waves.push_back(make_wave(dir.path(), std::string(e) + ".wav", 12.0, e));
    ASSERT_NO_FATAL_FAILURE(insert_disc(waves, {900, 900, 900}));

    for (std::size_t t = 0; t < waves.size(); ++t) {
        SCOPED_TRACE(encodings[t]);
        const std::uint64_t before = player->sink.total_played_frames();
        const auto ends = [&] {
            std::size_t n = 0;
            for (const Report& r : player->reports()) n += r.frames == 0;
            return n;
        }();
        // 750 frames (10 s) into track t + 1, to the end of that track.
        const std::uint32_t start = 150 + 900 * static_cast<std::uint32_t>(t) + 750;
        const std::uint32_t end = 150 + 900 * static_cast<std::uint32_t>(t) + 899;
        ASSERT_EQ(play(msf_of_frames(start), msf_of_frames(end)), devices::kSrbSuccess);
        ASSERT_TRUE(player->run_until([&] { return ends_reported(ends + 1); }));
        EXPECT_EQ(audio_status(), kCompleted);

        const Samples all = read_raw_samples(heard);
        const Samples got(all.begin() + static_cast<std::ptrdiff_t>(before * 2), all.end());
        const Samples decoded = sox_decoding(waves[t]);
        const Samples expected(decoded.begin() + 750 * 588 * 2, decoded.end());
        ASSERT_EQ(got.size(), expected.size());
        EXPECT_TRUE(got == expected);
    }
}

TEST_F(PlayerRoad, StopAndUnplayableTracksNeverLeaveTheDrivePlaying) {
    const auto one = make_wave(dir.path(), "one.wav", 4.0);
    const auto two = make_wave(dir.path(), "two.wav", 1.0);
    ASSERT_NO_FATAL_FAILURE(insert_disc({one, two}, {300, 75}));

    ASSERT_EQ(play({0, 2, 0}, {0, 6, 74}), devices::kSrbSuccess);
    ASSERT_TRUE(player->run_until([&] { return player->reports().size() >= 3; }));
    ASSERT_EQ(scsi({0x1B, 0, 0, 0, 0, 0}, 0), devices::kSrbSuccess);  // START STOP UNIT, start bit clear
    EXPECT_EQ(audio_status(), kCompleted);
    ASSERT_TRUE(player->run_until([&] { return player->count(Kind::play_stopped) == 1; }));
    const auto held = player->sink.total_played_frames();
    player->run_for(1s);
    EXPECT_EQ(player->sink.total_played_frames(), held) << "silence after the stop";

    // Track 1's wave file is gone: the player reports its end at once and
    // the drive moves on to track 2, which plays to the end.
    std::filesystem::remove(dir / "disc" / "Track 1.wav");
    ASSERT_EQ(play({0, 2, 0}, {0, 6, 74}), devices::kSrbSuccess);
    ASSERT_TRUE(player->run_until([&] { return player->count(Kind::play_ended) == 1; }));
    EXPECT_EQ(player->count(Kind::play_failed), 1);
    EXPECT_EQ(audio_status(), kCompleted);
    EXPECT_EQ(player->sink.total_played_frames(), held + 44100);

    // Reports the driver must not act on.
    std::vector<std::uint8_t> cut = position_report_message(8, 100);
    cut.resize(52);
    EXPECT_EQ(scsi({0x3B, 1, 0, 0, 0, 0, 0, 0, 0, 0}, 0, nullptr, 0, 1, cut), 0x06);
    EXPECT_EQ(scsi({0x3B, 1, 0, 0, 0, 0, 0, 0, 0, 0}, 0, nullptr, 0, 1, position_report_message(9, 100)), 0x06)
        << "no drive 1 on this port";
}

TEST_F(PlayerRoad, APlayerFindsARestartedPortHost) {
    const auto one = make_wave(dir.path(), "one.wav", 1.0);
    ASSERT_NO_FATAL_FAILURE(insert_disc({one}, {75}));
    ASSERT_EQ(host->stop(), 0);
    device.close();
    host = std::make_unique<qpx::testing::PortHostProcess>();
    ASSERT_TRUE(host->wait_ready()) << host->log();
    ASSERT_FALSE(devices::open_device("\\\\.\\Scsi" + std::to_string(PortLink::find_port().value_or(-1)) + ":", device));

    ASSERT_TRUE(player->run_until([&] { return player->count(Kind::ring_mapped) == 2; }, 10s))
        << "the player maps the new port host's ring";
    bool ready = false;
    for (int i = 0; i < 200 && !ready; ++i) {
        ready = scsi({0x00, 0, 0, 0, 0, 0}, 0) == devices::kSrbSuccess;
        if (!ready) std::this_thread::sleep_for(10ms);
    }
    ASSERT_EQ(play({0, 2, 0}, {0, 2, 74}), devices::kSrbSuccess);
    ASSERT_TRUE(player->run_until([&] { return ends_reported(1); }));
    EXPECT_EQ(audio_status(), kCompleted);
    EXPECT_TRUE(read_raw_samples(heard) == sox_decoding(one));
}

}  // namespace
}  // namespace qpx::player::test
