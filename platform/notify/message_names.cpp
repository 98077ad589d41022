#include "notify/notifications.h"

namespace qpx::notify {

std::string_view message_name(Message message) {
    switch (message) {
        case Message::ImageChanged: return "WM_QPXIMAGECHANGED";
        case Message::IndexChanged: return "WM_QPXINDEXCHANGED";
        case Message::DriveChanged: return "WM_QPXDRIVECHANGED";
        case Message::ImageAdded: return "WM_QPXIMAGEADDED";
        case Message::ImageDeleted: return "WM_QPXIMAGEDELETED";
        case Message::ShowTrayIcon: return "WM_QPXSHOWTRAYICON";
        case Message::ImageWizardToTop: return "WM_QPXIMAGEWIZARDTOTOP";
        case Message::ImageWriterToTop: return "WM_QPXIMAGEWRITERTOTOP";
        case Message::EditorBuildDone: return "WM_QPXEDITORBUILDDONE";
    }
    return {};
}

std::optional<Message> message_from_name(std::string_view name) {
    for (Message m : kAllMessages)
        if (message_name(m) == name) return m;
    return std::nullopt;
}

}  // namespace qpx::notify
