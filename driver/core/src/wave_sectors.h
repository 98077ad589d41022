// Audio sectors from a track's wave file: 2,352-byte CD-DA sectors of 588
// frames each, 44,100 Hz, 16-bit stereo, little-endian, whatever encoding
// the file holds (libsndfile converts it to 16-bit samples). Files with
// another rate or channel count are refused, not resampled.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <system_error>

namespace qpx::driver {

inline constexpr std::uint32_t kCdDaFramesPerSector = 588;
inline constexpr std::uint32_t kCdDaRate = 44100;
inline constexpr int kCdDaChannels = 2;

class WaveSectors {
public:
    WaveSectors() = default;
    ~WaveSectors();
    WaveSectors(const WaveSectors&) = delete;
    WaveSectors& operator=(const WaveSectors&) = delete;

    // Opens `path`. Errors: not_found or open_failed when libsndfile cannot
    // read it, bad_container when it is not 44,100 Hz stereo.
    std::error_code open(const std::string& path);
    const std::string& path() const { return path_; }
    bool is_open() const { return file_ != nullptr; }

    // Fills `out` (2,352 bytes) with sector `index` of the track (0 = the
    // wave's first frame). A sector the wave ends inside is padded with
    // silence; one that starts at or after the end fails with not_found.
    std::error_code read_sector(std::uint32_t index, std::span<std::uint8_t> out);

private:
    void close();

    void* file_ = nullptr;  // SNDFILE*
    std::string path_;
    bool floating_ = false;  // samples stored as float or double
    std::int64_t frames_ = 0;
    std::int64_t position_ = -1;  // the frame the file is positioned at, -1 unknown
};

}  // namespace qpx::driver
