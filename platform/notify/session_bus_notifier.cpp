// Notifications as signals on the session bus: one object path and one
// interface of the product; each message is a signal of its registered name
// with its two parameters.
#include <systemd/sd-bus.h>

#include <deque>
#include <string>

#include "notify/notifications.h"

namespace qpx::notify {
namespace {

constexpr const char* kObjectPath = "/org/quoplex/Notifications";
constexpr const char* kInterface = "org.quoplex.Notifications";

class NullNotifier final : public Notifier {
public:
    void post(Message, std::uint32_t, std::uint32_t) override {}
    std::vector<Notification> take() override { return {}; }
    bool wait(std::chrono::milliseconds) override { return false; }
    int event_fd() const override { return -1; }
    bool connected() const override { return false; }
};

class SessionBusNotifier final : public Notifier {
public:
    explicit SessionBusNotifier(sd_bus* bus) : bus_(bus) {}
    ~SessionBusNotifier() override {
        for (sd_bus_slot* slot : slots_) sd_bus_slot_unref(slot);
        sd_bus_flush_close_unref(bus_);
    }

    bool subscribe(std::span<const Message> registered) {
        for (Message m : registered) {
            sd_bus_slot* slot = nullptr;
            std::string member(message_name(m));
            if (sd_bus_match_signal(bus_, &slot, nullptr, kObjectPath, kInterface, member.c_str(), &on_signal,
                                    this) < 0)
                return false;
            slots_.push_back(slot);
        }
        return true;
    }

    void post(Message message, std::uint32_t wparam, std::uint32_t lparam) override {
        std::string member(message_name(message));
        if (sd_bus_emit_signal(bus_, kObjectPath, kInterface, member.c_str(), "uu", wparam, lparam) >= 0)
            sd_bus_flush(bus_);  // out before the sender may exit
    }

    std::vector<Notification> take() override {
        while (sd_bus_process(bus_, nullptr) > 0) {
        }
        std::vector<Notification> out(received_.begin(), received_.end());
        received_.clear();
        return out;
    }

    bool wait(std::chrono::milliseconds timeout) override {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            while (sd_bus_process(bus_, nullptr) > 0) {
            }
            if (!received_.empty()) return true;
            auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline -
                                                                              std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            if (sd_bus_wait(bus_, static_cast<std::uint64_t>(left.count())) < 0) return false;
        }
    }

    int event_fd() const override { return sd_bus_get_fd(bus_); }
    bool connected() const override { return true; }

private:
    static int on_signal(sd_bus_message* m, void* userdata, sd_bus_error*) {
        auto* self = static_cast<SessionBusNotifier*>(userdata);
        auto message = message_from_name(sd_bus_message_get_member(m) ? sd_bus_message_get_member(m) : "");
        std::uint32_t wparam = 0, lparam = 0;
        if (message && sd_bus_message_read(m, "uu", &wparam, &lparam) >= 0)
            self->received_.push_back({*message, wparam, lparam});
        return 0;
    }

    sd_bus* bus_;
    std::vector<sd_bus_slot*> slots_;
    std::deque<Notification> received_;
};

class SessionBusName final : public BusName {
public:
    explicit SessionBusName(sd_bus* bus) : bus_(bus) {}
    ~SessionBusName() override { sd_bus_flush_close_unref(bus_); }

private:
    sd_bus* bus_;
};

}  // namespace

std::unique_ptr<Notifier> connect_session(std::span<const Message> registered) {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return std::make_unique<NullNotifier>();
    auto notifier = std::make_unique<SessionBusNotifier>(bus);
    if (!notifier->subscribe(registered)) return std::make_unique<NullNotifier>();
    return notifier;
}

std::unique_ptr<BusName> claim_session_name(std::string_view name, bool* taken) {
    if (taken) *taken = false;
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return nullptr;
    std::string n(name);
    int r = sd_bus_request_name(bus, n.c_str(), 0);
    if (r < 0) {
        if (taken) *taken = r == -EEXIST;
        sd_bus_flush_close_unref(bus);
        return nullptr;
    }
    return std::make_unique<SessionBusName>(bus);
}

}  // namespace qpx::notify
