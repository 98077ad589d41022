#include "drive_queue.h"

#include <atomic>
#include <memory>

namespace qpx::iscsi {

void DriveQueue::submit(std::uint32_t drive, driver::ScsiRequest& request, std::function<void()> done) {
    {
        std::lock_guard lock(mutex_);
        Lane& lane = lanes_[drive];
        lane.waiting.push_back({&request, std::move(done)});
        if (lane.running) return;
        lane.running = true;
    }
    pump(drive);
}

bool DriveQueue::withdraw(std::uint32_t drive, const driver::ScsiRequest& request) {
    std::lock_guard lock(mutex_);
    Lane& lane = lanes_[drive];
    for (auto it = lane.waiting.begin(); it != lane.waiting.end(); ++it) {
        if (it->request == &request) {
            lane.waiting.erase(it);
            return true;
        }
    }
    return false;
}

// Runs the lane's requests one after the other. A runner that completes
// inside run() is served by this loop; one that completes later continues
// the lane from its completion.
void DriveQueue::pump(std::uint32_t drive) {
    enum : int { running = 0, completed_inline = 1, returned = 2 };
    for (;;) {
        Waiting next;
        {
            std::lock_guard lock(mutex_);
            Lane& lane = lanes_[drive];
            if (lane.waiting.empty()) {
                lane.running = false;
                return;
            }
            next = std::move(lane.waiting.front());
            lane.waiting.pop_front();
        }
        auto phase = std::make_shared<std::atomic<int>>(running);
        runner_.run(drive, *next.request, [this, drive, phase, done = std::move(next.done)] {
            done();
            if (phase->exchange(completed_inline) == returned) pump(drive);
        });
        if (phase->exchange(returned) == completed_inline) continue;
        return;
    }
}

}  // namespace qpx::iscsi
