#include "wave_sectors.h"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "qpx/container/errors.h"

namespace qpx::driver {
namespace {

using container::Errc;

SNDFILE* handle(void* file) { return static_cast<SNDFILE*>(file); }

// Floating-point samples (full scale -1..1) rounded to 16 bits; libsndfile's
// own conversion to short does not scale them.
sf_count_t read_float_frames(SNDFILE* file, std::span<short> out, sf_count_t frames) {
    std::array<float, kCdDaFramesPerSector * kCdDaChannels> samples{};
    const sf_count_t got = sf_readf_float(file, samples.data(), frames);
    for (std::size_t i = 0; i < static_cast<std::size_t>(std::max<sf_count_t>(got, 0)) * kCdDaChannels; ++i)
        out[i] = static_cast<short>(std::clamp(std::lrint(samples[i] * 32768.0f), -32768L, 32767L));
    return got;
}

}  // namespace

WaveSectors::~WaveSectors() { close(); }

void WaveSectors::close() {
    if (file_) sf_close(handle(file_));
    file_ = nullptr;
    path_.clear();
    frames_ = 0;
    position_ = -1;
    floating_ = false;
}

std::error_code WaveSectors::open(const std::string& path) {
    close();
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return sf_error(nullptr) == SF_ERR_SYSTEM ? Errc::not_found : Errc::open_failed;
    if (info.samplerate != static_cast<int>(kCdDaRate) || info.channels != kCdDaChannels) {
        sf_close(file);
        return Errc::bad_container;
    }
    const int subformat = info.format & SF_FORMAT_SUBMASK;
    floating_ = subformat == SF_FORMAT_FLOAT || subformat == SF_FORMAT_DOUBLE;
    file_ = file;
    path_ = path;
    frames_ = info.frames;
    position_ = 0;
    return {};
}

std::error_code WaveSectors::read_sector(std::uint32_t index, std::span<std::uint8_t> out) {
    if (!file_) return Errc::not_found;
    if (out.size() != kCdDaFramesPerSector * kCdDaChannels * 2) return Errc::invalid_argument;
    const std::int64_t first = std::int64_t{index} * kCdDaFramesPerSector;
    if (first >= frames_) return Errc::not_found;
    if (position_ != first) {
        if (sf_seek(handle(file_), first, SEEK_SET) != first) {
            position_ = -1;
            return Errc::medium_error;
        }
        position_ = first;
    }
    std::array<short, kCdDaFramesPerSector * kCdDaChannels> samples{};
    const std::int64_t wanted = std::min<std::int64_t>(kCdDaFramesPerSector, frames_ - first);
    const sf_count_t got = floating_ ? read_float_frames(handle(file_), samples, wanted)
                                     : sf_readf_short(handle(file_), samples.data(), wanted);
    if (got != wanted) {
        position_ = -1;
        return Errc::medium_error;
    }
    position_ += got;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto v = static_cast<std::uint16_t>(samples[i]);
        out[2 * i] = static_cast<std::uint8_t>(v);
        out[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    return {};
}

}  // namespace qpx::driver
