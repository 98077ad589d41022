// An in-process notification channel for unit tests: every endpoint made
// from one FakeBus hears what any endpoint (itself included) posts, filtered
// by the messages it registered.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "notify/notifications.h"

namespace qpx::notify {

class FakeBus : public std::enable_shared_from_this<FakeBus> {
public:
    static std::shared_ptr<FakeBus> create() { return std::shared_ptr<FakeBus>(new FakeBus()); }
    std::unique_ptr<Notifier> connect(std::span<const Message> registered);
    // Every message posted on the bus, in order.
    std::vector<Notification> posted() const;

private:
    FakeBus() = default;
    friend class FakeNotifier;
    void deliver(const Notification& n);
    void detach(class FakeNotifier* endpoint);

    mutable std::mutex mutex_;
    std::vector<class FakeNotifier*> endpoints_;
    std::vector<Notification> posted_;
};

}  // namespace qpx::notify
