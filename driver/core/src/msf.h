// Disc time: packed MSF (minute * 65,536 + second * 256 + frame) counts
// frames of 1/75 s from the start of the disc, 150 frames before LBA 0.
#pragma once

#include <cstdint>

namespace qpx::driver {

inline constexpr std::uint32_t kFramesPerSecond = 75;
inline constexpr std::uint32_t kFramesPerMinute = 60 * kFramesPerSecond;
inline constexpr std::int64_t kLbaZeroFrames = 150;

struct Msf {
    std::uint32_t minute = 0;  // may exceed 59
    std::uint8_t second = 0;
    std::uint8_t frame = 0;
};

constexpr Msf unpack_msf(std::uint32_t packed) {
    return {(packed >> 16) & 0xFF, static_cast<std::uint8_t>(packed >> 8), static_cast<std::uint8_t>(packed)};
}

// Frames of a packed MSF counted from the disc's start.
constexpr std::int64_t frames_of(const Msf& m) {
    return std::int64_t{m.minute} * kFramesPerMinute + std::int64_t{m.second} * kFramesPerSecond + m.frame;
}

constexpr std::int64_t lba_of_packed_msf(std::uint32_t packed) { return frames_of(unpack_msf(packed)) - kLbaZeroFrames; }

// Splits a frame count into minutes, seconds and frames.
constexpr Msf msf_of_frames(std::uint64_t frames) {
    return {static_cast<std::uint32_t>(frames / kFramesPerMinute),
            static_cast<std::uint8_t>((frames / kFramesPerSecond) % 60),
            static_cast<std::uint8_t>(frames % kFramesPerSecond)};
}

// Packed MSF of an LBA; the minute is kept to 8 bits, as in stored headers.
std::uint32_t packed_msf_of_lba(std::int64_t lba);

}  // namespace qpx::driver
