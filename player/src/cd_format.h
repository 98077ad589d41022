// The format every track is played in: 16-bit stereo at 44,100 Hz, 588
// sample frames (2,352 bytes) per CD frame of 1/75 s.
#pragma once

#include <cstdint>

namespace qpx::player::cd_format {

inline constexpr std::uint32_t kSampleRate = 44100;
inline constexpr unsigned kChannels = 2;
inline constexpr std::uint32_t kSamplesPerFrame = 588;
inline constexpr std::uint32_t kFramesPerSecond = 75;

}  // namespace qpx::player::cd_format
