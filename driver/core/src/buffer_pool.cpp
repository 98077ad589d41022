#include "buffer_pool.h"

#include <algorithm>

namespace qpx::driver {

BufferPool::BufferPool(std::size_t sets) : sets_(sets) {
    for (std::size_t i = 0; i < sets; ++i) order_.push_back(static_cast<int>(i));
}

void BufferPool::move_to_front(int set) {
    const auto at = std::find(order_.begin(), order_.end(), set);
    std::rotate(order_.begin(), at, at + 1);
}

void BufferPool::move_to_back(int set) {
    const auto at = std::find(order_.begin(), order_.end(), set);
    std::rotate(at, at + 1, order_.end());
}

bool BufferPool::claim(Unit& unit, const std::function<bool(int owner)>& owner_busy) {
    std::lock_guard lock(mutex_);
    if (sets_.empty()) return false;
    const int me = static_cast<int>(unit.number());
    if (unit.buffer_set >= 0 && sets_[static_cast<std::size_t>(unit.buffer_set)].owner == me) {
        move_to_front(unit.buffer_set);
        return true;
    }
    const int lru = order_.back();
    BufferSet& set = sets_[static_cast<std::size_t>(lru)];
    if (set.owner >= 0 && set.owner != me && owner_busy(set.owner)) return false;
    set.owner = me;
    set.cache.invalidate();
    unit.buffer_set = lru;
    move_to_front(lru);
    return true;
}

void BufferPool::release(Unit& unit) {
    std::lock_guard lock(mutex_);
    const int set = unit.buffer_set;
    unit.buffer_set = -1;
    if (set < 0 || sets_[static_cast<std::size_t>(set)].owner != static_cast<int>(unit.number())) return;
    sets_[static_cast<std::size_t>(set)].owner = -1;
    sets_[static_cast<std::size_t>(set)].cache.invalidate();
    move_to_back(set);
}

int BufferPool::owner(int set) const {
    std::lock_guard lock(mutex_);
    return sets_[static_cast<std::size_t>(set)].owner;
}

std::vector<int> BufferPool::order() const {
    std::lock_guard lock(mutex_);
    return order_;
}

}  // namespace qpx::driver
