#include "signal_board.h"

namespace qpx::player {

SignalBoard::SignalBoard(Clock& clock) : clock_(clock) { clock_.watch(mutex_, cv_); }

SignalBoard::~SignalBoard() { clock_.unwatch(cv_); }

void SignalBoard::set(Signal s) {
    std::lock_guard lock(mutex_);
    set_ |= static_cast<unsigned>(s);
    cv_.notify_all();
}

void SignalBoard::clear(unsigned mask) {
    std::lock_guard lock(mutex_);
    set_ &= ~mask;
}

bool SignalBoard::is_set(Signal s) const {
    std::lock_guard lock(mutex_);
    return (set_ & static_cast<unsigned>(s)) != 0;
}

std::optional<Signal> SignalBoard::take_locked(unsigned mask) {
    for (Signal s : {Signal::exit, Signal::abort, Signal::stop, Signal::pause, Signal::resume, Signal::queued}) {
        const unsigned bit = static_cast<unsigned>(s);
        if ((mask & bit) && (set_ & bit)) {
            if (s != Signal::exit) set_ &= ~bit;
            return s;
        }
    }
    return std::nullopt;
}

std::optional<Signal> SignalBoard::wait(unsigned mask, std::optional<Clock::Duration> timeout) {
    std::unique_lock lock(mutex_);
    const auto ready = [&] { return (set_ & mask) != 0; };
    if (timeout)
        clock_.wait_for(lock, cv_, *timeout, ready);
    else
        cv_.wait(lock, ready);
    return take_locked(mask);
}

}  // namespace qpx::player
