#include "attention_tracker.h"

namespace qpx::host {

void AttentionTracker::attach(ConnectionId connection) { connections_[connection] = Seen{clock_, {}}; }

void AttentionTracker::detach(ConnectionId connection) { connections_.erase(connection); }

void AttentionTracker::medium_changed(std::uint32_t drive, std::optional<ConnectionId> told) {
    if (drive >= changed_at_.size()) return;
    changed_at_[drive] = ++clock_;
    if (told) {
        auto it = connections_.find(*told);
        if (it != connections_.end()) it->second.drives[drive] = clock_;
    }
}

bool AttentionTracker::take_pending(ConnectionId connection, std::uint32_t drive) {
    if (drive >= changed_at_.size()) return false;
    auto it = connections_.find(connection);
    if (it == connections_.end()) return false;
    Seen& seen = it->second;
    auto d = seen.drives.find(drive);
    const std::uint64_t last = d != seen.drives.end() ? d->second : seen.opened;
    if (changed_at_[drive] <= last) return false;
    seen.drives[drive] = changed_at_[drive];
    return true;
}

}  // namespace qpx::host
