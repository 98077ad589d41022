// The player's signals: abort, stop, pause, resume, queued and exit, set by
// one thread and awaited by another. abort, stop, pause, resume and queued
// are taken by the thread that waits for them; exit stays set.
#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>

#include "clock.h"

namespace qpx::player {

enum class Signal : unsigned { abort = 1, stop = 2, pause = 4, resume = 8, queued = 16, exit = 32 };

constexpr unsigned operator|(Signal a, Signal b) { return static_cast<unsigned>(a) | static_cast<unsigned>(b); }
constexpr unsigned operator|(unsigned a, Signal b) { return a | static_cast<unsigned>(b); }

class SignalBoard {
public:
    explicit SignalBoard(Clock& clock);
    ~SignalBoard();
    SignalBoard(const SignalBoard&) = delete;
    SignalBoard& operator=(const SignalBoard&) = delete;

    void set(Signal s);
    void clear(unsigned mask);
    bool is_set(Signal s) const;

    // Waits until a signal of `mask` is set, or `timeout` has passed on the
    // clock (none: no limit). Returns the first set one in the order exit,
    // abort, stop, pause, resume, queued, taking it unless it is exit;
    // nothing on time-out.
    std::optional<Signal> wait(unsigned mask, std::optional<Clock::Duration> timeout);

    Clock& clock() { return clock_; }

private:
    std::optional<Signal> take_locked(unsigned mask);

    Clock& clock_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    unsigned set_ = 0;
};

}  // namespace qpx::player
