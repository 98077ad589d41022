// One track playing: the wave source feeding the sink, kept a full queue
// ahead of the sound, and the position it has reached.
//
// The track has ended when the source is exhausted and every frame taken
// from it has been played, so the last frames are always heard whole.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio_sink.h"
#include "wave_source.h"

namespace qpx::player {

class TrackPlay {
public:
    // What the play thread should tell the port host after a tick.
    struct Position {
        bool report = false;      // false: nothing to report yet
        std::uint32_t frames = 0; // CD frames from the track's start, 0 once ended
        bool ended = false;
    };

    // `start_frame`: where the source was positioned, in CD frames.
    TrackPlay(AudioSink& sink, std::unique_ptr<WaveSource> source, std::uint32_t start_frame);
    ~TrackPlay();
    TrackPlay(const TrackPlay&) = delete;
    TrackPlay& operator=(const TrackPlay&) = delete;

    // Starts the sink and fills its queue. False, with `why`, when the
    // sink cannot start.
    bool start(std::string& why);
    // Tops the queue up and tells the position.
    Position tick();
    void pause();
    void resume();
    // Ends the play; queued sound is dropped.
    void stop();

private:
    void refill();

    AudioSink& sink_;
    std::unique_ptr<WaveSource> source_;
    const std::uint64_t start_sample_;
    std::vector<std::int16_t> chunk_;
    std::size_t pending_from_ = 0;  // frames of chunk_ read but not yet taken by the sink
    std::size_t pending_to_ = 0;
    std::uint64_t written_ = 0;
    bool source_ended_ = false;
    bool end_told_ = false;
    bool running_ = false;
};

}  // namespace qpx::player
