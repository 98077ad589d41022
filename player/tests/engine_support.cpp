#include "engine_support.h"

namespace qpx::player::test {

using namespace std::chrono_literals;

bool RecordingLink::report_position(std::uint32_t unit, std::uint32_t frames) {
    const bool ok = next_ ? next_->report_position(unit, frames) : true;
    {
        std::lock_guard lock(mutex_);
        reports_.push_back({unit, frames});
    }
    changed();
    return ok;
}

bool RecordingLink::report_shutdown() {
    const bool ok = next_ ? next_->report_shutdown() : true;
    {
        std::lock_guard lock(mutex_);
        ++shutdowns_;
    }
    changed();
    return ok;
}

std::vector<Report> RecordingLink::reports() {
    std::lock_guard lock(mutex_);
    return reports_;
}

int RecordingLink::shutdowns() {
    std::lock_guard lock(mutex_);
    return shutdowns_;
}

EngineHarness::EngineHarness(const std::filesystem::path& heard, MapRing map_ring, DriverLink* next)
    : sink(clock, heard), link(next) {
    link.changed = [this] { note_change(); };
    PlayerParts parts{clock, sink, link, std::move(map_ring)};
    parts.observe = [this](const PlayerEvent& e) {
        {
            std::lock_guard lock(mutex_);
            events_.push_back(e);
        }
        note_change();
    };
    engine = std::make_unique<PlayerEngine>(std::move(parts));
    engine->start();
}

EngineHarness::~EngineHarness() { engine->shut_down(); }

void EngineHarness::note_change() {
    std::lock_guard lock(mutex_);
    ++changes_;
    changed_.notify_all();
}

bool EngineHarness::run_until(const std::function<bool()>& done, std::chrono::milliseconds at_most) {
    for (auto waited = 0ms; waited <= at_most; waited += 50ms) {
        if (done()) return true;
        std::uint64_t before = 0;
        {
            std::lock_guard lock(mutex_);
            before = changes_;
        }
        clock.advance(50ms);
        // The threads answer a step with a report or an event, or with
        // nothing at all (waiting for the next poll): wait a little for it.
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, 20ms, [&] { return changes_ != before; });
    }
    return done();
}

void EngineHarness::run_for(std::chrono::milliseconds span) {
    const auto end = clock.now() + span;
    run_until([&] { return clock.now() >= end; }, span);
}

std::vector<PlayerEvent> EngineHarness::events() {
    std::lock_guard lock(mutex_);
    return events_;
}

int EngineHarness::count(PlayerEvent::Kind kind) {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (const auto& e : events_) n += e.kind == kind;
    return n;
}

}  // namespace qpx::player::test
