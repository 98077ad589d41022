// Notifications between the programs: after a program changed the catalogue,
// the drive list, a catalogue entry or a shown setting, it broadcasts one of
// these messages; every receiver re-reads the shared state. Messages carry
// at most a catalogue number, never data. Delivered as signals on the
// desktop session's message bus; the sender hears its own signals too.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace qpx::notify {

enum class Message {
    ImageChanged,      // wParam: catalogue number; a record or header changed
    IndexChanged,      // a container was inserted or ejected (the drive list changed)
    DriveChanged,      // the set of emulated drives changed
    ImageAdded,        // wParam: new catalogue number
    ImageDeleted,      // wParam: catalogue number
    ShowTrayIcon,      // the tray icon setting changed
    ImageWizardToTop,  // a second wizard found one running
    ImageWriterToTop,  // the writer must come to the front
    EditorBuildDone,   // a build started from the editor has ended
};

inline constexpr std::array<Message, 9> kAllMessages = {
    Message::ImageChanged,     Message::IndexChanged,     Message::DriveChanged,
    Message::ImageAdded,       Message::ImageDeleted,     Message::ShowTrayIcon,
    Message::ImageWizardToTop, Message::ImageWriterToTop, Message::EditorBuildDone,
};

// lParam of messages the management program sends about changes it has
// already applied to its own views.
inline constexpr std::uint32_t kFromManager = 999;

// The registered name, e.g. "WM_QPXIMAGECHANGED".
std::string_view message_name(Message message);
std::optional<Message> message_from_name(std::string_view name);

struct Notification {
    Message message;
    std::uint32_t wparam = 0;
    std::uint32_t lparam = 0;
    bool operator==(const Notification&) const = default;
};

// One program's end of the notification channel. A program registers the
// messages it handles when it connects; only those are received.
class Notifier {
public:
    virtual ~Notifier() = default;

    // Broadcasts a message; returns at once, never waits for receivers.
    virtual void post(Message message, std::uint32_t wparam, std::uint32_t lparam) = 0;

    // Received messages, in arrival order, that were registered.
    virtual std::vector<Notification> take() = 0;

    // Waits up to `timeout` for at least one received message.
    virtual bool wait(std::chrono::milliseconds timeout) = 0;

    // A descriptor that becomes readable when messages may be waiting (for
    // event loops); -1 when there is none. Call take() when it fires.
    virtual int event_fd() const = 0;

    // False when the program found no bus and goes on without notifying.
    virtual bool connected() const = 0;
};

// Connects to the desktop session's bus. Without a session bus the returned
// notifier is not connected: posting does nothing and nothing is received.
std::unique_ptr<Notifier> connect_session(std::span<const Message> registered);

// Holds a well-known name on the session bus while it lives: the mark of a
// single-instance program.
class BusName {
public:
    virtual ~BusName() = default;
};

// Claims `name`; null when another process holds it or there is no bus
// (*taken tells which).
std::unique_ptr<BusName> claim_session_name(std::string_view name, bool* taken);

}  // namespace qpx::notify
