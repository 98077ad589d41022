// The last decoded block of one reader. Each reader (a drive, a browser
// window, a thread) keeps its own cache and passes it to every read; a cache
// may move between containers, since blocks are keyed by the container that
// decoded them. Not shared between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qpx::container {

class Container;

class BlockCache {
public:
    BlockCache() = default;
    void invalidate() { valid_ = false; }

private:
    friend class Container;
    bool holds(std::uint64_t container, std::uint8_t area, std::uint32_t block) const {
        return valid_ && container_ == container && area_ == area && block_ == block;
    }

    bool valid_ = false;
    std::uint64_t container_ = 0;
    std::uint8_t area_ = 0;
    std::uint32_t block_ = 0;
    std::size_t decoded_length_ = 0;
    std::vector<std::uint8_t> decoded_;  // one block size
    std::vector<std::uint8_t> stored_;   // one block as stored
};

}  // namespace qpx::container
