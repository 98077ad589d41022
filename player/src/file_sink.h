// An audio sink that "plays" into a file of raw samples (16-bit
// little-endian stereo) at the pace of a clock: what the clock lets play is
// appended to the file, what is still queued when a stream ends is not.
// With a virtual clock, tests decide exactly how much has been heard.
#pragma once

#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>

#include "audio_sink.h"
#include "clock.h"

namespace qpx::player {

class FileSink final : public AudioSink {
public:
    // 1.2 s of queue, as much as the player keeps ahead of the sound.
    static constexpr std::size_t kDefaultCapacity = 52920;

    FileSink(Clock& clock, std::filesystem::path path, std::size_t capacity_frames = kDefaultCapacity);
    ~FileSink() override;

    bool start(std::string& why) override;
    std::size_t writable_frames() override;
    std::size_t write(std::span<const std::int16_t> interleaved) override;
    std::uint64_t played_frames() override;
    void pause() override;
    void resume() override;
    void finish() override;

    // Everything played into the file since the sink was made.
    std::uint64_t total_played_frames();
    // Clock time of the first frame written into any stream.
    std::optional<Clock::Duration> first_write_at();

private:
    void catch_up_locked();

    Clock& clock_;
    std::filesystem::path path_;
    const std::size_t capacity_;
    std::mutex mutex_;
    std::FILE* file_ = nullptr;
    std::deque<std::int16_t> queued_;
    bool running_ = false;
    Clock::Duration last_{0};
    Clock::Duration run_time_{0};     // running time of this stream
    std::uint64_t clock_frames_ = 0;  // frames the running time has allowed so far
    std::uint64_t played_ = 0;
    std::uint64_t total_played_ = 0;
    std::optional<Clock::Duration> first_write_;
};

}  // namespace qpx::player
