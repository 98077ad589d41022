#include "notify/fake_notifier.h"

#include <algorithm>
#include <condition_variable>
#include <deque>

namespace qpx::notify {

class FakeNotifier final : public Notifier {
public:
    FakeNotifier(std::shared_ptr<FakeBus> bus, std::span<const Message> registered)
        : bus_(std::move(bus)), registered_(registered.begin(), registered.end()) {}
    ~FakeNotifier() override { bus_->detach(this); }

    void post(Message message, std::uint32_t wparam, std::uint32_t lparam) override {
        bus_->deliver({message, wparam, lparam});
    }
    std::vector<Notification> take() override {
        std::lock_guard lock(mutex_);
        std::vector<Notification> out(queue_.begin(), queue_.end());
        queue_.clear();
        return out;
    }
    bool wait(std::chrono::milliseconds timeout) override {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, timeout, [&] { return !queue_.empty(); });
    }
    int event_fd() const override { return -1; }
    bool connected() const override { return true; }

    void receive(const Notification& n) {
        if (std::find(registered_.begin(), registered_.end(), n.message) == registered_.end()) return;
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(n);
        }
        cv_.notify_all();
    }

private:
    std::shared_ptr<FakeBus> bus_;
    std::vector<Message> registered_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Notification> queue_;
};

std::unique_ptr<Notifier> FakeBus::connect(std::span<const Message> registered) {
    auto endpoint = std::make_unique<FakeNotifier>(shared_from_this(), registered);
    std::lock_guard lock(mutex_);
    endpoints_.push_back(endpoint.get());
    return endpoint;
}

std::vector<Notification> FakeBus::posted() const {
    std::lock_guard lock(mutex_);
    return posted_;
}

void FakeBus::deliver(const Notification& n) {
    std::lock_guard lock(mutex_);
    posted_.push_back(n);
    for (FakeNotifier* e : endpoints_) e->receive(n);
}

void FakeBus::detach(FakeNotifier* endpoint) {
    std::lock_guard lock(mutex_);
    endpoints_.erase(std::remove(endpoints_.begin(), endpoints_.end(), endpoint), endpoints_.end());
}

}  // namespace qpx::notify
