// Threads that run the drives' work items (opening containers, serving
// reads) outside the serialising context. Shared by every adapter.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace qpx::host {

class WorkerPool {
public:
    explicit WorkerPool(unsigned threads);
    // Runs what is still queued, then joins.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void post(std::function<void()> item);
    // Runs every queued item (also those queued meanwhile) and stops the threads.
    void drain_and_stop();

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> items_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace qpx::host
