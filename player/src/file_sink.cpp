#include "file_sink.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "cd_format.h"

namespace qpx::player {

FileSink::FileSink(Clock& clock, std::filesystem::path path, std::size_t capacity_frames)
    : clock_(clock), path_(std::move(path)), capacity_(capacity_frames) {}

FileSink::~FileSink() {
    if (file_) std::fclose(file_);
}

bool FileSink::start(std::string& why) {
    std::lock_guard lock(mutex_);
    if (file_) std::fclose(file_);
    file_ = std::fopen(path_.c_str(), "ab");
    if (!file_) {
        why = "cannot open " + path_.string() + ": " + std::strerror(errno);
        return false;
    }
    queued_.clear();
    running_ = true;
    last_ = clock_.now();
    run_time_ = Clock::Duration{0};
    clock_frames_ = 0;
    played_ = 0;
    return true;
}

void FileSink::catch_up_locked() {
    const Clock::Duration now = clock_.now();
    if (running_) run_time_ += now - last_;
    last_ = now;
    const std::uint64_t allowed =
        static_cast<std::uint64_t>(run_time_.count()) * cd_format::kSampleRate / 1'000'000'000u;
    const std::uint64_t fresh = allowed - clock_frames_;
    clock_frames_ = allowed;
    // Time the queue stood empty is lost, as on a sound card that ran dry.
    const std::size_t frames = static_cast<std::size_t>(std::min<std::uint64_t>(fresh, queued_.size() / 2));
    if (frames == 0) return;
    std::vector<std::uint8_t> bytes(frames * 4);
    for (std::size_t i = 0; i < frames * 2; ++i) {
        const auto v = static_cast<std::uint16_t>(queued_[i]);
        bytes[2 * i] = static_cast<std::uint8_t>(v);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    queued_.erase(queued_.begin(), queued_.begin() + static_cast<std::ptrdiff_t>(frames * 2));
    if (file_) {
        std::fwrite(bytes.data(), 1, bytes.size(), file_);
        std::fflush(file_);
    }
    played_ += frames;
    total_played_ += frames;
}

std::size_t FileSink::writable_frames() {
    std::lock_guard lock(mutex_);
    catch_up_locked();
    return capacity_ - std::min(capacity_, queued_.size() / 2);
}

std::size_t FileSink::write(std::span<const std::int16_t> interleaved) {
    std::lock_guard lock(mutex_);
    catch_up_locked();
    const std::size_t room = capacity_ - std::min(capacity_, queued_.size() / 2);
    const std::size_t frames = std::min(room, interleaved.size() / 2);
    if (frames > 0 && !first_write_) first_write_ = clock_.now();
    queued_.insert(queued_.end(), interleaved.begin(), interleaved.begin() + static_cast<std::ptrdiff_t>(frames * 2));
    return frames;
}

std::uint64_t FileSink::played_frames() {
    std::lock_guard lock(mutex_);
    catch_up_locked();
    return played_;
}

void FileSink::pause() {
    std::lock_guard lock(mutex_);
    catch_up_locked();
    running_ = false;
}

void FileSink::resume() {
    std::lock_guard lock(mutex_);
    catch_up_locked();
    running_ = true;
}

void FileSink::finish() {
    std::lock_guard lock(mutex_);
    catch_up_locked();
    running_ = false;
    queued_.clear();
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

std::uint64_t FileSink::total_played_frames() {
    std::lock_guard lock(mutex_);
    catch_up_locked();
    return total_played_;
}

std::optional<Clock::Duration> FileSink::first_write_at() {
    std::lock_guard lock(mutex_);
    return first_write_;
}

}  // namespace qpx::player
