#include "alsa_sink.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <mutex>

#include "cd_format.h"

namespace qpx::player {
namespace {

constexpr unsigned kBufferMicroseconds = 500'000;
constexpr unsigned kPeriodMicroseconds = 50'000;

// ALSA's own messages would repeat on standard error what start() reports.
void quiet(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

AlsaSink::AlsaSink(std::string device) : device_(std::move(device)) {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(quiet); });
}

AlsaSink::~AlsaSink() { close(); }

void AlsaSink::close() {
    if (pcm_) snd_pcm_close(pcm_);
    pcm_ = nullptr;
}

bool AlsaSink::start(std::string& why) {
    close();
    written_ = dropped_ = played_at_pause_ = since_prepare_ = 0;
    paused_ = false;
    replay_.clear();
    int rc = snd_pcm_open(&pcm_, device_.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (rc < 0) {
        pcm_ = nullptr;
        why = "cannot open the sound device \"" + device_ + "\": " + snd_strerror(rc);
        return false;
    }
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    unsigned rate = cd_format::kSampleRate;
    unsigned buffer_time = kBufferMicroseconds;
    unsigned period_time = kPeriodMicroseconds;
    if ((rc = snd_pcm_hw_params_any(pcm_, hw)) < 0 ||
        (rc = snd_pcm_hw_params_set_access(pcm_, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0 ||
        (rc = snd_pcm_hw_params_set_format(pcm_, hw, SND_PCM_FORMAT_S16_LE)) < 0 ||
        (rc = snd_pcm_hw_params_set_channels(pcm_, hw, cd_format::kChannels)) < 0 ||
        (rc = snd_pcm_hw_params_set_rate_near(pcm_, hw, &rate, nullptr)) < 0 ||
        (rc = snd_pcm_hw_params_set_buffer_time_near(pcm_, hw, &buffer_time, nullptr)) < 0 ||
        (rc = snd_pcm_hw_params_set_period_time_near(pcm_, hw, &period_time, nullptr)) < 0 ||
        (rc = snd_pcm_hw_params(pcm_, hw)) < 0) {
        why = std::string("cannot set the sound device to 16-bit stereo at 44,100 Hz: ") + snd_strerror(rc);
        close();
        return false;
    }
    snd_pcm_uframes_t buffer = 0;
    snd_pcm_uframes_t period = 0;
    snd_pcm_hw_params_get_buffer_size(hw, &buffer);
    snd_pcm_hw_params_get_period_size(hw, &period, nullptr);
    buffer_frames_ = buffer;
    can_pause_ = snd_pcm_hw_params_can_pause(hw) != 0;

    // Start as soon as one period is queued, so that short tracks sound too.
    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    snd_pcm_sw_params_current(pcm_, sw);
    snd_pcm_sw_params_set_start_threshold(pcm_, sw, period);
    snd_pcm_sw_params(pcm_, sw);

    history_.assign(buffer_frames_ * 2, 0);
    history_end_ = 0;
    return true;
}

std::size_t AlsaSink::writable_frames() {
    if (!pcm_ || paused_) return 0;
    snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_);
    if (avail < 0) {
        // Ran dry (or was suspended): start again where the writing is.
        since_prepare_ = 0;
        if (snd_pcm_recover(pcm_, static_cast<int>(avail), 1) < 0) return 0;
        avail = snd_pcm_avail_update(pcm_);
    }
    return avail > 0 ? static_cast<std::size_t>(avail) : 0;
}

void AlsaSink::remember(std::span<const std::int16_t> interleaved) {
    if (history_.empty()) return;
    for (std::int16_t s : interleaved) {
        history_[history_end_] = s;
        history_end_ = (history_end_ + 1) % history_.size();
    }
}

std::size_t AlsaSink::write(std::span<const std::int16_t> interleaved) {
    if (!pcm_ || paused_) return 0;
    const snd_pcm_sframes_t n = snd_pcm_writei(pcm_, interleaved.data(), interleaved.size() / 2);
    if (n < 0) {
        since_prepare_ = 0;
        snd_pcm_recover(pcm_, static_cast<int>(n), 1);
        return 0;
    }
    since_prepare_ += static_cast<std::uint64_t>(n);
    remember(interleaved.first(static_cast<std::size_t>(n) * 2));
    written_ += static_cast<std::uint64_t>(n);
    return static_cast<std::size_t>(n);
}

std::uint64_t AlsaSink::queued_frames() {
    if (!pcm_) return 0;
    const snd_pcm_state_t state = snd_pcm_state(pcm_);
    if (state == SND_PCM_STATE_XRUN || state == SND_PCM_STATE_SETUP) return 0;
    // Not started yet: everything written since the last prepare waits.
    if (state == SND_PCM_STATE_PREPARED) return since_prepare_;
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(pcm_, &delay) < 0 || delay < 0) return 0;
    return static_cast<std::uint64_t>(delay);
}

std::uint64_t AlsaSink::played_frames() {
    if (paused_) return played_at_pause_;
    const std::uint64_t queued = std::min(queued_frames(), written_ - dropped_);
    return written_ - dropped_ - queued;
}

void AlsaSink::pause() {
    if (!pcm_ || paused_) return;
    played_at_pause_ = played_frames();
    if (can_pause_ && snd_pcm_pause(pcm_, 1) == 0) {
        paused_ = true;
        return;
    }
    // No pause in hardware: keep the frames not yet heard for the resume.
    const std::uint64_t unheard = std::min<std::uint64_t>(written_ - dropped_ - played_at_pause_, buffer_frames_);
    replay_.resize(unheard * 2);
    const std::size_t size = history_.size();
    for (std::size_t i = 0; i < replay_.size(); ++i)
        replay_[i] = history_[(history_end_ + size - replay_.size() + i) % size];
    snd_pcm_drop(pcm_);
    since_prepare_ = 0;
    dropped_ += unheard;
    paused_ = true;
}

void AlsaSink::resume() {
    if (!pcm_ || !paused_) return;
    paused_ = false;
    if (replay_.empty() && snd_pcm_state(pcm_) == SND_PCM_STATE_PAUSED) {
        snd_pcm_pause(pcm_, 0);
        return;
    }
    snd_pcm_prepare(pcm_);
    since_prepare_ = 0;
    std::vector<std::int16_t> replay;
    replay.swap(replay_);
    std::size_t at = 0;
    while (at < replay.size()) {
        const std::size_t n = write(std::span<const std::int16_t>(replay).subspan(at));
        if (n == 0) break;
        at += n * 2;
    }
}

void AlsaSink::end_of_stream() {
    // A stream shorter than the start threshold would otherwise never start.
    if (pcm_ && !paused_ && snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED && since_prepare_ > 0) snd_pcm_start(pcm_);
}

void AlsaSink::finish() {
    if (pcm_) snd_pcm_drop(pcm_);
    close();
}

}  // namespace qpx::player
