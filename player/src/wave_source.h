// The audio of one track as CD-format samples: a wave file of any format
// the decoder knows (PCM, IMA and MS ADPCM, GSM 6.10, ...), with mono
// doubled to both sides, more than two channels cut to the first two, and
// other sample rates resampled to 44,100 Hz.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "wave_header.h"

namespace qpx::player {

class WaveSource {
public:
    // Opens a regular file and checks its layout. Nothing, with `why` set,
    // for a missing, unreadable or refused file; `undecodable` is set when
    // the layout was sound but its audio format cannot be converted.
    static std::unique_ptr<WaveSource> open(const std::string& path, std::string& why, bool* undecodable = nullptr);
    virtual ~WaveSource() = default;

    // Starts the track `frame` CD frames (1/75 s) in. False when the file
    // cannot be positioned there (a start past the end leaves nothing to read).
    virtual bool seek_to_frame(std::uint32_t frame) = 0;
    // Fills `out` (interleaved stereo) with up to out.size() / 2 sample
    // frames; fewer only when the track is exhausted or unreadable.
    virtual std::size_t read(std::span<std::int16_t> out) = 0;

    virtual const WaveFormat& format() const = 0;
};

}  // namespace qpx::player
