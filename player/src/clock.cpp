#include "clock.h"

#include <algorithm>

namespace qpx::player {

void VirtualClock::wait_for(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, Duration timeout,
                            const std::function<bool()>& ready) {
    const Duration deadline = now() + timeout;
    cv.wait(lock, [&] { return ready() || now() >= deadline; });
}

void VirtualClock::watch(std::mutex& mutex, std::condition_variable& cv) {
    std::lock_guard lock(watched_mutex_);
    watched_.push_back({&mutex, &cv});
}

void VirtualClock::unwatch(std::condition_variable& cv) {
    std::lock_guard lock(watched_mutex_);
    std::erase_if(watched_, [&](const Watched& w) { return w.cv == &cv; });
}

void VirtualClock::advance(Duration by) {
    now_ += by.count();
    std::lock_guard lock(watched_mutex_);
    for (const Watched& w : watched_) {
        std::lock_guard waiter(*w.mutex);
        w.cv->notify_all();
    }
}

}  // namespace qpx::player
