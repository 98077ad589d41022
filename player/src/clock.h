// Time for the player's threads: the steady clock in the program, a
// virtual clock that tests and benchmarks move by hand.
//
// Threads wait through Clock::wait_for with their own mutex and condition
// variable; a virtual clock wakes every watched condition variable when it
// moves, under that variable's mutex, so no wake-up is lost.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

namespace qpx::player {

class Clock {
public:
    using Duration = std::chrono::nanoseconds;
    virtual ~Clock() = default;

    // Time since the clock was made.
    virtual Duration now() const = 0;
    // With `lock` held on the mutex that guards `cv`: returns once `ready()`
    // is true or `timeout` has passed on this clock.
    virtual void wait_for(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, Duration timeout,
                          const std::function<bool()>& ready) = 0;
    // A waiter's mutex and condition variable, woken when the clock moves.
    virtual void watch(std::mutex&, std::condition_variable&) {}
    virtual void unwatch(std::condition_variable&) {}
};

class SteadyClock final : public Clock {
public:
    Duration now() const override { return std::chrono::steady_clock::now() - start_; }
    void wait_for(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, Duration timeout,
                  const std::function<bool()>& ready) override {
        cv.wait_for(lock, timeout, ready);
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

class VirtualClock final : public Clock {
public:
    Duration now() const override { return Duration(now_.load()); }
    void wait_for(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, Duration timeout,
                  const std::function<bool()>& ready) override;
    void watch(std::mutex& mutex, std::condition_variable& cv) override;
    void unwatch(std::condition_variable& cv) override;

    // Moves time on and wakes every watched waiter.
    void advance(Duration by);

private:
    struct Watched {
        std::mutex* mutex;
        std::condition_variable* cv;
    };
    std::atomic<Duration::rep> now_{0};
    std::mutex watched_mutex_;
    std::vector<Watched> watched_;
};

}  // namespace qpx::player
