// Commands of every connection wait here for their drive: the runner gets
// at most one request per drive at a time, the others in arrival order.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

#include "qpx/iscsi/command_runner.h"

namespace qpx::iscsi {

class DriveQueue {
public:
    explicit DriveQueue(CommandRunner& runner) : runner_(runner) {}

    // Queues `request` for `drive`; `done` is called once it has run.
    void submit(std::uint32_t drive, driver::ScsiRequest& request, std::function<void()> done);

    // Takes `request` out of the queue if it has not started; true if it was
    // taken (its `done` is then never called).
    bool withdraw(std::uint32_t drive, const driver::ScsiRequest& request);

    CommandRunner& runner() { return runner_; }

private:
    struct Waiting {
        driver::ScsiRequest* request;
        std::function<void()> done;
    };
    struct Lane {
        std::deque<Waiting> waiting;
        bool running = false;
    };
    void pump(std::uint32_t drive);

    CommandRunner& runner_;
    std::mutex mutex_;
    std::map<std::uint32_t, Lane> lanes_;
};

}  // namespace qpx::iscsi
