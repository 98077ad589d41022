// Where the sound goes: a stream of CD-format samples (interleaved 16-bit
// stereo at 44,100 Hz) that plays while it runs. One stream per track play.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace qpx::player {

class AudioSink {
public:
    virtual ~AudioSink() = default;

    // Starts a new stream, empty and running. False, with `why`, when the
    // output cannot be opened.
    virtual bool start(std::string& why) = 0;
    // Sample frames that can be written now without waiting.
    virtual std::size_t writable_frames() = 0;
    // Queues frames (at most writable_frames()); returns how many were taken.
    virtual std::size_t write(std::span<const std::int16_t> interleaved) = 0;
    // Frames of this stream that have been played.
    virtual std::uint64_t played_frames() = 0;
    // Holds the stream where it is and goes on from the same frame.
    virtual void pause() = 0;
    virtual void resume() = 0;
    // Nothing more will be written to this stream: play out what is queued.
    virtual void end_of_stream() {}
    // Ends the stream; what is queued and not played is dropped.
    virtual void finish() = 0;
};

}  // namespace qpx::player
