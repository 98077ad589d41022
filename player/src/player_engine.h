// The player's threads: the poll thread maps the ring and takes every new
// command record at each poll, the dispatcher hands them out, and one play
// thread at a time plays a track and reports its position.
//
// Play commands start a track (ending the running one first); stop, pause
// and resume act on whatever plays. A track that cannot be opened or played
// is reported as ended at once, so the drive moves on and never stays
// "playing" with nothing to hear.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "audio_sink.h"
#include "clock.h"
#include "driver_link.h"
#include "ring_reader.h"
#include "signal_board.h"

namespace qpx::player {

struct PlayerEvent {
    enum class Kind { ring_mapped, play_started, play_failed, paused, resumed, play_ended, play_stopped };
    Kind kind;
    std::uint32_t unit = 0;
    std::string detail;  // play_failed: why; play_started: the wave file
    bool undecodable = false;  // play_failed: the wave file's format cannot be converted
};

struct PlayerParts {
    Clock& clock;
    AudioSink& sink;
    DriverLink& driver;
    // Maps the ring; nothing (with why) while the port host cannot hand it over.
    std::function<std::optional<MappedRing>(std::string& why)> map_ring;
    // Diagnostics for the user's log.
    std::function<void(std::string_view)> log = [](std::string_view) {};
    // Told of every change; called from the player's threads.
    std::function<void(const PlayerEvent&)> observe = [](const PlayerEvent&) {};
};

class PlayerEngine {
public:
    // Short enough that a play starts well within 300 ms of its request.
    static constexpr Clock::Duration kPollInterval = std::chrono::milliseconds(100);
    static constexpr Clock::Duration kTick = std::chrono::milliseconds(50);
    static constexpr Clock::Duration kMapRetry = std::chrono::seconds(2);
    // How often the poll thread checks that the port host is still there.
    static constexpr int kPollsPerLivenessCheck = 20;

    explicit PlayerEngine(PlayerParts parts);
    ~PlayerEngine();
    PlayerEngine(const PlayerEngine&) = delete;
    PlayerEngine& operator=(const PlayerEngine&) = delete;

    void start();
    // Ends the running play without a report ("Player stoppen").
    void abort_play();
    // Ends every thread, then tells the port host that the player is gone.
    void shut_down();

private:
    void poll_loop();
    // Maps the ring, trying again until it works; nothing on exit.
    std::optional<MappedRing> map_ring_until_exit();
    void dispatch_loop();
    void handle(const PlayerRecord& record);
    void end_play_thread();
    void play(PlayerRecord record);
    void track_failed(const PlayerRecord& record, const std::string& why, bool undecodable = false);

    PlayerParts parts_;
    SignalBoard signals_;
    std::mutex queue_mutex_;
    std::deque<PlayerRecord> queue_;
    std::thread poll_thread_;
    std::thread dispatcher_;
    std::thread play_thread_;  // touched by the dispatcher only
    bool started_ = false;
    bool shut_down_ = false;
};

}  // namespace qpx::player
