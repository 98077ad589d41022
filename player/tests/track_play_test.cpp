// Tracks played into the file sink on a virtual clock: what is heard is
// the wave's PCM (or sox's decoding of it) from the requested frame, whole
// to the end, and nothing while paused.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "clock.h"
#include "file_sink.h"
#include "sox_support.h"
#include "support/temp_dir.h"
#include "track_play.h"
#include "wave_source.h"

namespace qpx::player::test {
namespace {

using namespace std::chrono_literals;
using Samples = std::vector<std::int16_t>;

class TrackPlayTest : public ::testing::Test {
protected:
    std::unique_ptr<TrackPlay> open(const std::filesystem::path& wave, std::uint32_t frame) {
        std::string why;
        auto source = WaveSource::open(wave.string(), why);
        EXPECT_TRUE(source) << why;
        if (!source) return nullptr;
        EXPECT_TRUE(source->seek_to_frame(frame));
        auto play = std::make_unique<TrackPlay>(sink, std::move(source), frame);
        EXPECT_TRUE(play->start(why)) << why;
        return play;
    }
    // Ticks every 50 ms until the track ends; the reports it gave.
    std::vector<TrackPlay::Position> play_to_end(TrackPlay& play, int max_ticks = 2000) {
        std::vector<TrackPlay::Position> reports;
        for (int i = 0; i < max_ticks; ++i) {
            clock.advance(50ms);
            const auto p = play.tick();
            if (p.report) reports.push_back(p);
            if (p.ended) break;
        }
        return reports;
    }
    Samples heard() { return read_raw_samples(out); }

    testing::TempDir dir{"track-play"};
    std::filesystem::path out = dir / "heard.raw";
    VirtualClock clock;
    FileSink sink{clock, out};
};

Samples tail_from(const Samples& all, std::size_t frame) {
    const std::size_t at = std::min(all.size(), frame * 588 * 2);
    return Samples(all.begin() + static_cast<std::ptrdiff_t>(at), all.end());
}

TEST_F(TrackPlayTest, PlaysEveryEncodingAsSoxDecodesItFromTheStartFrame) {
    struct Case {
        const char* encoding;
        std::uint32_t frame;
    };
    const Case cases[] = {{"", 0}, {"", 750}, {"ima-adpcm", 0}, {"ima-adpcm", 750}, {"ms-adpcm", 373},
                          {"gsm-full-rate", 750}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.encoding) + " from frame " + std::to_string(c.frame));
        std::filesystem::remove(out);
        const auto wave = make_wave(dir.path(), std::string("t-") + c.encoding + ".wav", 12.5, c.encoding);
        const Samples reference = tail_from(sox_decoding(wave), c.frame);
        auto play = open(wave, c.frame);
        ASSERT_TRUE(play);
        const auto reports = play_to_end(*play);
        ASSERT_FALSE(reports.empty());
        EXPECT_TRUE(reports.back().ended);
        const Samples got = heard();
        ASSERT_EQ(got.size(), reference.size());
        EXPECT_TRUE(got == reference) << "first difference at sample "
                                      << std::mismatch(got.begin(), got.end(), reference.begin()).first - got.begin();
        // Reports count from the track's start, the offset included.
        EXPECT_GT(reports.front().frames, c.frame);
        EXPECT_LE(reports.front().frames, c.frame + 4);
    }
}

TEST_F(TrackPlayTest, TheEndIsReportedOnlyAfterTheLastFrameWasHeard) {
    // 1 s plus 100 samples: the last refill holds a short remainder.
    const auto wave = make_wave(dir.path(), "short.wav", 1.0 + 100.0 / 44100);
    auto play = open(wave, 0);
    ASSERT_TRUE(play);
    int ticks = 0;
    TrackPlay::Position p;
    while (!p.ended && ticks < 100) {
        clock.advance(50ms);
        p = play->tick();
        ++ticks;
        if (!p.ended) {
            EXPECT_LT(sink.total_played_frames(), 44200u) << "still playing at tick " << ticks;
        }
    }
    EXPECT_TRUE(p.ended);
    EXPECT_EQ(ticks, 21) << "1.0023 s of sound ends at the 21st tick of 50 ms";
    EXPECT_EQ(sink.total_played_frames(), 44200u) << "every frame was heard";
}

TEST_F(TrackPlayTest, PauseHoldsTheSoundAndResumeGoesOnFromTheSameSample) {
    const auto wave = make_wave(dir.path(), "pause.wav", 3.0);
    auto play = open(wave, 0);
    ASSERT_TRUE(play);
    for (int i = 0; i < 10; ++i) {
        clock.advance(50ms);
        play->tick();
    }
    play->pause();
    const std::uint64_t at_pause = sink.total_played_frames();
    EXPECT_EQ(at_pause, 22050u);
    clock.advance(5s);
    EXPECT_EQ(sink.total_played_frames(), at_pause) << "nothing sounds while paused";
    play->resume();
    play_to_end(*play);
    EXPECT_TRUE(heard() == sox_decoding(wave)) << "no gap and no repeat around the pause";
}

TEST_F(TrackPlayTest, OtherRatesAndMonoBecomeCdStereo) {
    // Mono is doubled exactly; 22,050 Hz is resampled to twice the frames.
    const auto mono = make_wave(dir.path(), "mono.wav", 1.0, "", 44100, 1);
    auto play = open(mono, 0);
    play_to_end(*play);
    EXPECT_TRUE(heard() == sox_decoding(mono));

    play.reset();
    std::filesystem::remove(out);
    const auto low = make_wave(dir.path(), "low.wav", 2.0, "", 22050, 2);
    play = open(low, 75);
    play_to_end(*play);
    const Samples got = heard();
    const Samples reference = tail_from(sox_decoding(low), 75);  // sox's own resampler
    ASSERT_NEAR(static_cast<double>(got.size()), static_cast<double>(reference.size()), 2 * 64.0);
    double error = 0, power = 0;
    for (std::size_t i = 2000; i + 2000 < std::min(got.size(), reference.size()); ++i) {
        error += std::pow(double(got[i]) - reference[i], 2);
        power += std::pow(double(reference[i]), 2);
    }
    EXPECT_LT(error / power, 0.01) << "the resampled sound follows sox's within 20 dB; got " << error / power;
}

TEST_F(TrackPlayTest, FilesThatAreNotPlayableAreRefusedWithAReason) {
    const auto wave = make_wave(dir.path(), "good.wav", 1.0);
    std::filesystem::copy_file(wave, dir / "cut.wav");
    std::filesystem::resize_file(dir / "cut.wav", 30);
    {
        std::ofstream(dir / "text.wav") << "this is not a wave file at all, not even close";
    }
    ASSERT_EQ(::mkfifo((dir / "fifo.wav").c_str(), 0600), 0);  // opening must not wait for a writer
    const std::filesystem::path cases[] = {dir / "missing.wav", dir / "cut.wav", dir / "text.wav", dir.path(),
                                           dir / "fifo.wav"};
    for (const auto& path : cases) {
        std::string why;
        EXPECT_FALSE(WaveSource::open(path.string(), why)) << path;
        EXPECT_FALSE(why.empty()) << path;
    }

    // Truncated inside the data: what is there plays, then the track ends.
    std::filesystem::copy_file(wave, dir / "half.wav");
    std::filesystem::resize_file(dir / "half.wav", 44 + 88200);
    auto play = open(dir / "half.wav", 0);
    ASSERT_TRUE(play);
    const auto reports = play_to_end(*play);
    ASSERT_FALSE(reports.empty());
    EXPECT_TRUE(reports.back().ended);
    EXPECT_EQ(sink.total_played_frames(), 22050u);
}

}  // namespace
}  // namespace qpx::player::test
