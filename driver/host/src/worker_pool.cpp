#include "worker_pool.h"

namespace qpx::host {

WorkerPool::WorkerPool(unsigned threads) {
    if (threads == 0) threads = 1;
    for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { run(); });
}

WorkerPool::~WorkerPool() { drain_and_stop(); }

void WorkerPool::post(std::function<void()> item) {
    {
        std::lock_guard lock(mutex_);
        items_.push_back(std::move(item));
    }
    wake_.notify_one();
}

void WorkerPool::drain_and_stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (auto& t : threads_)
        if (t.joinable()) t.join();
}

void WorkerPool::run() {
    for (;;) {
        std::function<void()> item;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !items_.empty(); });
            if (items_.empty()) return;  // stopping and drained
            item = std::move(items_.front());
            items_.pop_front();
        }
        item();
    }
}

}  // namespace qpx::host
