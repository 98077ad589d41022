// Runs the player engine on a virtual clock with the file sink, records
// what it tells the port host and what it does, and waits (bounded, in real
// time) for the player's threads to catch up with the clock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "clock.h"
#include "driver_link.h"
#include "file_sink.h"
#include "player_engine.h"

namespace qpx::player::test {

struct Report {
    std::uint32_t unit;
    std::uint32_t frames;
};

// Passes messages on to `next` (when given) and keeps them.
class RecordingLink final : public DriverLink {
public:
    explicit RecordingLink(DriverLink* next = nullptr) : next_(next) {}
    bool report_position(std::uint32_t unit, std::uint32_t frames) override;
    bool report_shutdown() override;

    std::vector<Report> reports();
    int shutdowns();
    std::function<void()> changed = [] {};

private:
    DriverLink* next_;
    std::mutex mutex_;
    std::vector<Report> reports_;
    int shutdowns_ = 0;
};

class EngineHarness {
public:
    using MapRing = std::function<std::optional<MappedRing>(std::string&)>;
    EngineHarness(const std::filesystem::path& heard, MapRing map_ring, DriverLink* next = nullptr);
    ~EngineHarness();

    // Moves the clock on in 50 ms steps until `done` holds, giving the
    // player's threads a moment after each step; false when it never does.
    bool run_until(const std::function<bool()>& done, std::chrono::milliseconds at_most = std::chrono::minutes(2));
    // Moves the clock on by `span` in 50 ms steps.
    void run_for(std::chrono::milliseconds span);

    std::vector<PlayerEvent> events();
    int count(PlayerEvent::Kind kind);
    std::vector<Report> reports() { return link.reports(); }

    VirtualClock clock;
    FileSink sink;
    RecordingLink link;
    std::unique_ptr<PlayerEngine> engine;

private:
    void note_change();
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t changes_ = 0;
    std::vector<PlayerEvent> events_;
};

}  // namespace qpx::player::test
