// The sound card through ALSA: one PCM stream per track play on the
// default device (or the one named), 16-bit stereo at 44,100 Hz, written
// without blocking. A device that cannot pause in hardware is stopped and
// refilled with the frames it had not yet played.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "audio_sink.h"

typedef struct _snd_pcm snd_pcm_t;

namespace qpx::player {

class AlsaSink final : public AudioSink {
public:
    explicit AlsaSink(std::string device = "default");
    ~AlsaSink() override;

    bool start(std::string& why) override;
    std::size_t writable_frames() override;
    std::size_t write(std::span<const std::int16_t> interleaved) override;
    std::uint64_t played_frames() override;
    void pause() override;
    void resume() override;
    void end_of_stream() override;
    void finish() override;

private:
    void close();
    // Frames queued in the device and not yet heard.
    std::uint64_t queued_frames();
    void remember(std::span<const std::int16_t> interleaved);

    std::string device_;
    snd_pcm_t* pcm_ = nullptr;
    std::size_t buffer_frames_ = 0;
    bool can_pause_ = false;
    bool paused_ = false;
    std::uint64_t written_ = 0;
    std::uint64_t dropped_ = 0;
    std::uint64_t since_prepare_ = 0;  // frames written since the stream was last prepared  // frames discarded by a pause without hardware support
    // The last buffer's worth of written frames (ring), replayed after such a pause.
    std::vector<std::int16_t> history_;
    std::size_t history_end_ = 0;
    std::vector<std::int16_t> replay_;
    std::uint64_t played_at_pause_ = 0;
};

}  // namespace qpx::player
