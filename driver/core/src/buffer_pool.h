// The buffer sets shared by the drives, ordered from most to least recently
// used. A drive reading a compressed container needs a set for its decoded
// block; it keeps its set while it owns it and otherwise takes the least
// recently used one, unless that set's owner is reading right now.
#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

#include "qpx/container/block_cache.h"
#include "unit.h"

namespace qpx::driver {

class BufferPool {
public:
    explicit BufferPool(std::size_t sets);
    BufferPool(const BufferPool&) = delete;
    BufferPool& operator=(const BufferPool&) = delete;

    std::size_t size() const { return sets_.size(); }

    // Keeps the unit's own set (moved to the most recently used end) or
    // assigns it the least recently used one, whose cache is emptied. False
    // when that set belongs to another unit for which `owner_busy` is true.
    bool claim(Unit& unit, const std::function<bool(int owner)>& owner_busy);

    // Gives the unit's set back, if it still owns it: no owner, least
    // recently used end. The unit has no set afterwards.
    void release(Unit& unit);

    // The cache of a set; only its owner uses it, from its read work item.
    container::BlockCache& cache(int set) { return sets_[static_cast<std::size_t>(set)].cache; }

    // Owner of a set (-1 none), and the sets from most to least recently used.
    int owner(int set) const;
    std::vector<int> order() const;

private:
    struct BufferSet {
        int owner = -1;
        container::BlockCache cache;
    };
    void move_to_front(int set);
    void move_to_back(int set);

    mutable std::mutex mutex_;
    std::vector<BufferSet> sets_;
    std::vector<int> order_;  // front: most recently used
};

}  // namespace qpx::driver
