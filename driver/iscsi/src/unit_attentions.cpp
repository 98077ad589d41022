#include "unit_attentions.h"

#include <utility>

namespace qpx::iscsi {

void UnitAttentions::join(std::uint64_t connection, std::uint32_t drive, Attention initial) {
    std::lock_guard lock(mutex_);
    entries_[connection] = Entry{drive, initial};
}

void UnitAttentions::leave(std::uint64_t connection) {
    std::lock_guard lock(mutex_);
    entries_.erase(connection);
}

void UnitAttentions::raise_for_others(std::uint32_t drive, std::uint64_t source, Attention attention) {
    std::lock_guard lock(mutex_);
    for (auto& [id, entry] : entries_)
        if (id != source && entry.drive == drive) entry.pending = attention;
}

std::optional<Attention> UnitAttentions::take(std::uint64_t connection) {
    std::lock_guard lock(mutex_);
    const auto it = entries_.find(connection);
    if (it == entries_.end()) return std::nullopt;
    return std::exchange(it->second.pending, std::nullopt);
}

}  // namespace qpx::iscsi
