#include "track_play.h"

#include "cd_format.h"

namespace qpx::player {
namespace {

constexpr std::size_t kChunkFrames = 8192;

}  // namespace

TrackPlay::TrackPlay(AudioSink& sink, std::unique_ptr<WaveSource> source, std::uint32_t start_frame)
    : sink_(sink),
      source_(std::move(source)),
      start_sample_(std::uint64_t{start_frame} * cd_format::kSamplesPerFrame),
      chunk_(kChunkFrames * cd_format::kChannels) {}

TrackPlay::~TrackPlay() { stop(); }

bool TrackPlay::start(std::string& why) {
    if (!sink_.start(why)) return false;
    running_ = true;
    refill();
    return true;
}

void TrackPlay::refill() {
    while (true) {
        // Frames read earlier that the sink has not taken yet go first.
        while (pending_from_ < pending_to_) {
            const std::size_t n = sink_.write(std::span<const std::int16_t>(chunk_).subspan(
                pending_from_ * cd_format::kChannels, (pending_to_ - pending_from_) * cd_format::kChannels));
            if (n == 0) return;
            pending_from_ += n;
            written_ += n;
        }
        if (source_ended_) {
            if (!end_told_) sink_.end_of_stream();
            end_told_ = true;
            return;
        }
        const std::size_t room = sink_.writable_frames();
        if (room == 0) return;
        const std::size_t wanted = std::min(room, kChunkFrames);
        const std::size_t got = source_->read(std::span<std::int16_t>(chunk_).first(wanted * cd_format::kChannels));
        if (got < wanted) source_ended_ = true;
        pending_from_ = 0;
        pending_to_ = got;
    }
}

TrackPlay::Position TrackPlay::tick() {
    if (!running_) return {};
    refill();
    const std::uint64_t played = sink_.played_frames();
    if (source_ended_ && pending_from_ == pending_to_ && played >= written_) return {true, 0, true};
    const auto frames = static_cast<std::uint32_t>((start_sample_ + played) / cd_format::kSamplesPerFrame);
    return {frames != 0, frames, false};
}

void TrackPlay::pause() {
    if (running_) sink_.pause();
}

void TrackPlay::resume() {
    if (running_) sink_.resume();
}

void TrackPlay::stop() {
    if (!running_) return;
    running_ = false;
    sink_.finish();
}

}  // namespace qpx::player
