// The player's threads over a ring written as the driver writes it: one
// play at a time, commands taken however fast they come, tracks that cannot
// be played reported as ended, and the shutdown message.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "engine_support.h"
#include "qpx/driver/player_ring.h"
#include "sox_support.h"
#include "support/temp_dir.h"

namespace qpx::player::test {
namespace {

using namespace std::chrono_literals;

std::vector<char> read_bytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
void write_bytes(const std::filesystem::path& p, const std::vector<char>& bytes) {
    std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
using driver::PlayerCommandCode;
using Kind = PlayerEvent::Kind;

class PlayerEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        one = make_wave(dir.path(), "one.wav", 2.0).string();
        two = make_wave(dir.path(), "two.wav", 1.0).string();
    }
    void send(PlayerCommandCode code, std::uint32_t unit = 8, std::string path = {}, std::uint32_t offset = 0) {
        writer.send({code, unit, offset, std::move(path)});
    }
    bool has_ended_reports(std::size_t n) {
        std::size_t ends = 0;
        for (const Report& r : player.reports()) ends += r.frames == 0;
        return ends >= n;
    }

    testing::TempDir dir{"engine"};
    std::string one, two;
    std::vector<std::uint8_t> ring = std::vector<std::uint8_t>(ring_layout::kSize);
    driver::player_ring::RingWriter writer{ring};
    EngineHarness player{dir / "heard.raw", [this](std::string&) { return MappedRing{ring, nullptr, {}}; }};
};

TEST_F(PlayerEngineTest, APlayCommandEndsTheRunningPlayBeforeItStarts) {
    send(PlayerCommandCode::play, 8, one);
    ASSERT_TRUE(player.run_until([&] { return player.sink.total_played_frames() > 44100 / 2; }));
    send(PlayerCommandCode::play, 9, two);
    ASSERT_TRUE(player.run_until([&] { return player.count(Kind::play_ended) == 1; }));

    std::vector<Kind> kinds;
    for (const auto& e : player.events()) kinds.push_back(e.kind);
    EXPECT_EQ(kinds, (std::vector<Kind>{Kind::ring_mapped, Kind::play_started, Kind::play_stopped,
                                        Kind::play_started, Kind::play_ended}));
    const auto reports = player.reports();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().unit, 9u);
    EXPECT_EQ(reports.back().frames, 0u);
    for (const Report& r : reports) EXPECT_TRUE(r.unit == 9 || r.frames != 0) << "the aborted play reports no end";
}

TEST_F(PlayerEngineTest, TakesEveryRecordThatArrivedBetweenPolls) {
    // Play, pause, resume and a second play within one poll interval: the
    // second play is what sounds, and it plays to its end.
    send(PlayerCommandCode::play, 8, one);
    send(PlayerCommandCode::pause);
    send(PlayerCommandCode::resume);
    send(PlayerCommandCode::play, 8, two);
    ASSERT_TRUE(player.run_until([&] { return player.count(Kind::play_ended) == 1; }));
    std::vector<std::string> started;
    for (const auto& e : player.events())
        if (e.kind == Kind::play_started) started.push_back(e.detail);
    EXPECT_EQ(started, (std::vector<std::string>{one, two}));
    EXPECT_EQ(player.count(Kind::play_stopped), 1) << "the first play ended for the second";
    const auto heard = read_raw_samples(dir / "heard.raw");
    const auto second = sox_decoding(two);
    ASSERT_GE(heard.size(), second.size());
    EXPECT_TRUE(std::equal(second.begin(), second.end(), heard.end() - static_cast<std::ptrdiff_t>(second.size())))
        << "the second track is heard whole, to its end";
}

TEST_F(PlayerEngineTest, PauseStopsReportsAndResumeGoesOn) {
    send(PlayerCommandCode::play, 8, one);
    ASSERT_TRUE(player.run_until([&] { return player.reports().size() >= 5; }));
    send(PlayerCommandCode::pause);
    ASSERT_TRUE(player.run_until([&] { return player.count(Kind::paused) == 1; }));
    const auto reports = player.reports().size();
    const auto heard = player.sink.total_played_frames();
    player.run_for(3s);
    EXPECT_EQ(player.reports().size(), reports);
    EXPECT_EQ(player.sink.total_played_frames(), heard);

    send(PlayerCommandCode::resume);
    ASSERT_TRUE(player.run_until([&] { return has_ended_reports(1); }));
    EXPECT_TRUE(read_raw_samples(dir / "heard.raw") == sox_decoding(one));
}

TEST_F(PlayerEngineTest, StopEndsThePlayWithoutAReportAndTheNextPlayWorks) {
    send(PlayerCommandCode::stop, 0);  // nothing plays: no effect on what follows
    player.run_for(500ms);
    send(PlayerCommandCode::play, 8, one);
    ASSERT_TRUE(player.run_until([&] { return player.count(Kind::play_started) == 1; }));
    send(PlayerCommandCode::stop, 0);
    ASSERT_TRUE(player.run_until([&] { return player.count(Kind::play_stopped) == 1; }));
    const auto heard = player.sink.total_played_frames();
    EXPECT_LT(heard, 88200u);
    player.run_for(1s);
    EXPECT_EQ(player.sink.total_played_frames(), heard) << "silence after the stop";
    EXPECT_FALSE(has_ended_reports(1));

    player.engine->abort_play();  // "Player stoppen" while nothing plays
    send(PlayerCommandCode::play, 8, two);
    ASSERT_TRUE(player.run_until([&] { return has_ended_reports(1); }));
    EXPECT_EQ(player.sink.total_played_frames(), heard + 44100);
}

TEST_F(PlayerEngineTest, ATrackThatCannotBePlayedIsReportedAsEnded) {
    std::filesystem::copy_file(one, dir / "cut.wav");
    std::filesystem::resize_file(dir / "cut.wav", 20);
    const std::string bad[] = {(dir / "missing.wav").string(), (dir / "cut.wav").string(), ""};
    for (const auto& path : bad) send(PlayerCommandCode::play, 10, path);
    ASSERT_TRUE(player.run_until([&] { return has_ended_reports(3); }));
    EXPECT_EQ(player.count(Kind::play_failed), 3);
    for (const Report& r : player.reports()) EXPECT_EQ(r.unit, 10u);
}

TEST_F(PlayerEngineTest, AFormatThatCannotBeConvertedIsToldApart) {
    // A sound layout whose format tag no decoder knows.
    auto bytes = read_bytes(one);
    bytes[20] = 0x34;
    bytes[21] = 0x12;
    write_bytes(dir / "odd.wav", bytes);
    send(PlayerCommandCode::play, 8, (dir / "odd.wav").string());
    send(PlayerCommandCode::play, 8, (dir / "missing.wav").string());
    ASSERT_TRUE(player.run_until([&] { return has_ended_reports(2); }));
    std::vector<bool> undecodable;
    for (const auto& e : player.events())
        if (e.kind == Kind::play_failed) undecodable.push_back(e.undecodable);
    EXPECT_EQ(undecodable, (std::vector<bool>{true, false}));
}

TEST_F(PlayerEngineTest, ShutDownTellsThePortHostOnce) {
    send(PlayerCommandCode::play, 8, one);
    ASSERT_TRUE(player.run_until([&] { return player.count(Kind::play_started) == 1; }));
    player.engine->shut_down();
    EXPECT_EQ(player.count(Kind::play_stopped), 1) << "the running play ends";
    EXPECT_EQ(player.link.shutdowns(), 1);
    player.engine->shut_down();
    EXPECT_EQ(player.link.shutdowns(), 1);
}

}  // namespace
}  // namespace qpx::player::test
