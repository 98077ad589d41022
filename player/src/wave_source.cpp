#include "wave_source.h"

#include <fcntl.h>
#include <sndfile.h>
#include <soxr.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "cd_format.h"

namespace qpx::player {
namespace {

constexpr std::size_t kHeadLimit = 1 << 20;
constexpr std::size_t kChunkFrames = 4096;
constexpr std::uint16_t kTagGsm610 = 0x31;
constexpr std::uint16_t kGsmBlockBytes = 65;
constexpr std::uint16_t kGsmBlockSamples = 320;

// GSM 6.10 data ends with its last whole block: bytes after it (a partial
// block) are no sound, whatever a decoder would make of them.
sf_count_t playable_frames(const WaveLayout& layout, std::uint64_t file_size, sf_count_t decoder_frames) {
    if (layout.format.tag != kTagGsm610 || layout.format.block_align != kGsmBlockBytes) return decoder_frames;
    const std::uint64_t stored = std::min(layout.data_size, file_size - std::min(file_size, layout.data_offset));
    return std::min<sf_count_t>(decoder_frames,
                                static_cast<sf_count_t>(stored / kGsmBlockBytes * kGsmBlockSamples));
}

struct SndfileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};
struct SoxrDeleter {
    void operator()(soxr* s) const { soxr_delete(s); }
};

class SndfileSource final : public WaveSource {
public:
    SndfileSource(SNDFILE* file, const SF_INFO& info, const WaveFormat& format, sf_count_t frames)
        : file_(file), info_(info), format_(format), frames_(frames) {}

    bool init_resampler(std::string& why) {
        if (static_cast<std::uint32_t>(info_.samplerate) == cd_format::kSampleRate) return true;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        soxr_error_t error = nullptr;
        resampler_.reset(soxr_create(info_.samplerate, cd_format::kSampleRate, cd_format::kChannels, &error, &io,
                                     &quality, nullptr));
        if (error || !resampler_) {
            why = std::string("cannot convert the sample rate: ") + (error ? error : "unknown error");
            return false;
        }
        return true;
    }

    bool seek_to_frame(std::uint32_t frame) override {
        const sf_count_t target =
            static_cast<sf_count_t>(std::uint64_t{frame} * static_cast<std::uint64_t>(info_.samplerate) /
                                    cd_format::kFramesPerSecond);
        if (target >= frames_) {
            exhausted_ = true;
            return true;
        }
        if (resampler_) soxr_clear(resampler_.get());
        if (sf_seek(file_.get(), target, SEEK_SET) == target) {
            position_ = target;
            return true;
        }
        // Some codecs (GSM 6.10) cannot seek: decode from the start and drop
        // what comes before the target.
        if (sf_seek(file_.get(), 0, SEEK_SET) != 0 && read_any_) return false;
        return skip_frames(target);
    }

    std::size_t read(std::span<std::int16_t> out) override {
        const std::size_t wanted = out.size() / cd_format::kChannels;
        std::size_t done = 0;
        while (done < wanted) {
            const std::size_t got = resampler_ ? read_resampled(out.subspan(done * 2, (wanted - done) * 2))
                                               : read_stereo(out.subspan(done * 2, (wanted - done) * 2));
            if (got == 0) break;
            done += got;
        }
        return done;
    }

    const WaveFormat& format() const override { return format_; }

private:
    bool skip_frames(sf_count_t count) {
        std::vector<short> scratch(kChunkFrames * static_cast<std::size_t>(info_.channels));
        while (count > 0) {
            const sf_count_t n = sf_readf_short(file_.get(), scratch.data(),
                                                std::min<sf_count_t>(count, static_cast<sf_count_t>(kChunkFrames)));
            if (n <= 0) {
                exhausted_ = true;
                return true;
            }
            count -= n;
            position_ += n;
        }
        return true;
    }

    // Up to out.size() / 2 frames at the file's own rate, as stereo.
    std::size_t read_stereo(std::span<std::int16_t> out) {
        if (exhausted_) return 0;
        read_any_ = true;
        const std::size_t channels = static_cast<std::size_t>(info_.channels);
        const std::size_t frames = static_cast<std::size_t>(
            std::min<sf_count_t>(static_cast<sf_count_t>(std::min(out.size() / 2, kChunkFrames)), frames_ - position_));
        if (frames == 0) {
            exhausted_ = true;
            return 0;
        }
        if (channels == 2) {
            const sf_count_t got = sf_readf_short(file_.get(), out.data(), static_cast<sf_count_t>(frames));
            if (got <= 0) exhausted_ = true;
            if (got <= 0) return 0;
            position_ += got;
            return static_cast<std::size_t>(got);
        }
        raw_.resize(frames * channels);
        const sf_count_t got = sf_readf_short(file_.get(), raw_.data(), static_cast<sf_count_t>(frames));
        if (got <= 0) {
            exhausted_ = true;
            return 0;
        }
        position_ += got;
        for (sf_count_t i = 0; i < got; ++i) {
            const std::int16_t* frame = raw_.data() + static_cast<std::size_t>(i) * channels;
            out[2 * i] = frame[0];
            out[2 * i + 1] = channels == 1 ? frame[0] : frame[1];
        }
        return static_cast<std::size_t>(got);
    }

    std::size_t read_resampled(std::span<std::int16_t> out) {
        const std::size_t wanted = out.size() / 2;
        while (true) {
            if (pending_used_ < pending_.size() / 2) {
                const std::size_t n = std::min(wanted, pending_.size() / 2 - pending_used_);
                std::copy_n(pending_.begin() + static_cast<std::ptrdiff_t>(pending_used_ * 2), n * 2, out.begin());
                pending_used_ += n;
                return n;
            }
            if (flushed_) return 0;
            stereo_.resize(kChunkFrames * 2);
            const std::size_t in = read_stereo(stereo_);
            pending_.resize((in * cd_format::kSampleRate / static_cast<std::size_t>(info_.samplerate) + 64) * 2);
            std::size_t produced = 0;
            soxr_error_t error = nullptr;
            if (in > 0) {
                error = soxr_process(resampler_.get(), stereo_.data(), in, nullptr, pending_.data(),
                                     pending_.size() / 2, &produced);
            } else {
                // The source is exhausted: take what the resampler still holds.
                error = soxr_process(resampler_.get(), nullptr, 0, nullptr, pending_.data(), pending_.size() / 2,
                                     &produced);
                if (produced == 0) flushed_ = true;
            }
            if (error) {
                flushed_ = true;
                produced = 0;
            }
            pending_.resize(produced * 2);
            pending_used_ = 0;
        }
    }

    std::unique_ptr<SNDFILE, SndfileCloser> file_;
    SF_INFO info_;
    WaveFormat format_;
    const sf_count_t frames_;  // frames of sound in the file
    sf_count_t position_ = 0;
    std::unique_ptr<soxr, SoxrDeleter> resampler_;
    std::vector<std::int16_t> raw_;
    std::vector<std::int16_t> stereo_;
    std::vector<std::int16_t> pending_;
    std::size_t pending_used_ = 0;
    bool exhausted_ = false;
    bool flushed_ = false;
    bool read_any_ = false;
};

std::string errno_text(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

std::unique_ptr<WaveSource> WaveSource::open(const std::string& path, std::string& why, bool* undecodable) {
    if (path.empty()) {
        why = "no wave file named";
        return nullptr;
    }
    // Non-blocking, so that a FIFO in the file's place cannot hang the player.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        why = errno_text("cannot open the wave file");
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        why = "not a regular file";
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    std::vector<std::uint8_t> head(std::min<std::uint64_t>(static_cast<std::uint64_t>(st.st_size), kHeadLimit));
    const ssize_t got = ::pread(fd, head.data(), head.size(), 0);
    if (got < 0) {
        why = errno_text("cannot read the wave file");
        ::close(fd);
        return nullptr;
    }
    head.resize(static_cast<std::size_t>(got));
    const auto layout = parse_wave_header(head, static_cast<std::uint64_t>(st.st_size), why);
    if (!layout) {
        ::close(fd);
        return nullptr;
    }

    SF_INFO info{};
    SNDFILE* file = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);  // closes fd, also on failure
    if (!file) {
        why = std::string("cannot decode the wave file: ") + sf_strerror(nullptr);
        if (undecodable) *undecodable = true;
        return nullptr;
    }
    if (info.channels < 1 || info.samplerate < 1) {
        sf_close(file);
        why = "the wave file names no channels or rate";
        return nullptr;
    }
    sf_command(file, SFC_SET_SCALE_FLOAT_INT_READ, nullptr, SF_TRUE);
    const sf_count_t frames = playable_frames(*layout, static_cast<std::uint64_t>(st.st_size), info.frames);
    auto source = std::make_unique<SndfileSource>(file, info, layout->format, frames);
    if (!source->init_resampler(why)) {
        if (undecodable) *undecodable = true;
        return nullptr;
    }
    return source;
}

}  // namespace qpx::player
