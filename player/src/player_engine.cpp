#include "player_engine.h"

#include "track_play.h"
#include "wave_source.h"

namespace qpx::player {

PlayerEngine::PlayerEngine(PlayerParts parts) : parts_(std::move(parts)), signals_(parts_.clock) {}

PlayerEngine::~PlayerEngine() { shut_down(); }

void PlayerEngine::start() {
    if (started_) return;
    started_ = true;
    dispatcher_ = std::thread([this] { dispatch_loop(); });
    poll_thread_ = std::thread([this] { poll_loop(); });
}

void PlayerEngine::abort_play() { signals_.set(Signal::abort); }

void PlayerEngine::shut_down() {
    if (!started_ || shut_down_) return;
    shut_down_ = true;
    signals_.set(Signal::exit);
    poll_thread_.join();
    dispatcher_.join();
    {
        std::lock_guard lock(queue_mutex_);
        queue_.clear();
    }
    if (!parts_.driver.report_shutdown()) parts_.log("could not tell the port host that the player ends");
}

std::optional<MappedRing> PlayerEngine::map_ring_until_exit() {
    std::string last_why;
    while (true) {
        std::string why;
        auto ring = parts_.map_ring(why);
        if (ring) return ring;
        if (why != last_why) parts_.log("waiting for the port host: " + why);
        last_why = why;
        if (signals_.wait(static_cast<unsigned>(Signal::exit), kMapRetry)) return std::nullopt;
    }
}

void PlayerEngine::poll_loop() {
    while (auto ring = map_ring_until_exit()) {
        parts_.log("connected to the port host");
        parts_.observe({PlayerEvent::Kind::ring_mapped, 0, {}});
        RingReader reader(ring->bytes);
        int polls = 0;
        while (true) {
            if (signals_.wait(static_cast<unsigned>(Signal::exit), kPollInterval)) return;
            auto records = reader.take_available();
            if (!records.empty()) {
                {
                    std::lock_guard lock(queue_mutex_);
                    for (auto& r : records) queue_.push_back(std::move(r));
                }
                signals_.set(Signal::queued);
            }
            if (++polls % kPollsPerLivenessCheck == 0 && ring->alive && !ring->alive()) {
                parts_.log("the port host has gone away");
                break;
            }
        }
    }
}

void PlayerEngine::dispatch_loop() {
    while (true) {
        const auto s = signals_.wait(Signal::queued | Signal::exit, std::nullopt);
        if (s == Signal::exit) break;
        while (true) {
            std::optional<PlayerRecord> record;
            {
                std::lock_guard lock(queue_mutex_);
                if (queue_.empty()) break;
                record = std::move(queue_.front());
                queue_.pop_front();
            }
            handle(*record);
        }
    }
    end_play_thread();
}

void PlayerEngine::end_play_thread() {
    if (!play_thread_.joinable()) return;
    signals_.set(Signal::abort);
    play_thread_.join();
}

void PlayerEngine::handle(const PlayerRecord& record) {
    switch (static_cast<RecordCommand>(record.command)) {
        case RecordCommand::play:
            end_play_thread();
            signals_.clear(Signal::abort | Signal::stop | Signal::pause | Signal::resume);
            play_thread_ = std::thread([this, record] { play(record); });
            break;
        case RecordCommand::stop: signals_.set(Signal::stop); break;
        case RecordCommand::pause: signals_.set(Signal::pause); break;
        case RecordCommand::resume: signals_.set(Signal::resume); break;
        default: break;  // not a command of this player
    }
}

void PlayerEngine::track_failed(const PlayerRecord& record, const std::string& why, bool undecodable) {
    parts_.log("cannot play \"" + record.path + "\": " + why);
    parts_.observe({PlayerEvent::Kind::play_failed, record.unit, why, undecodable});
    // Reported as ended, so the drive goes on instead of "playing" silence.
    parts_.driver.report_position(record.unit, 0);
}

void PlayerEngine::play(PlayerRecord record) {
    std::string why;
    bool undecodable = false;
    auto source = WaveSource::open(record.path, why, &undecodable);
    if (!source) return track_failed(record, why, undecodable);
    if (!source->seek_to_frame(record.frame_offset))
        return track_failed(record, "cannot start " + std::to_string(record.frame_offset) + " frames in");

    TrackPlay track(parts_.sink, std::move(source), record.frame_offset);
    if (!track.start(why)) return track_failed(record, why);
    parts_.observe({PlayerEvent::Kind::play_started, record.unit, record.path});

    bool playing = true;
    while (true) {
        const auto s = signals_.wait(Signal::abort | Signal::stop | Signal::pause | Signal::resume, kTick);
        if (s == Signal::abort || s == Signal::stop) {
            track.stop();
            parts_.observe({PlayerEvent::Kind::play_stopped, record.unit, {}});
            return;
        }
        if (s == Signal::pause) {
            if (playing) track.pause();
            playing = false;
            parts_.observe({PlayerEvent::Kind::paused, record.unit, {}});
            continue;
        }
        if (s == Signal::resume) {
            if (!playing) track.resume();
            playing = true;
            parts_.observe({PlayerEvent::Kind::resumed, record.unit, {}});
            continue;
        }
        if (!playing) continue;
        const TrackPlay::Position position = track.tick();
        if (position.report) parts_.driver.report_position(record.unit, position.frames);
        if (position.ended) {
            track.stop();
            parts_.observe({PlayerEvent::Kind::play_ended, record.unit, {}});
            return;
        }
    }
}

}  // namespace qpx::player
