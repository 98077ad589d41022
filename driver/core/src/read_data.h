// The bytes of a READ(10) from a container: user data in 2,048-byte sectors,
// or raw 2,352-byte sectors when the length is a multiple of 2,352 (no
// multiple of 2,048 up to the largest transfer is one).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <system_error>

#include "qpx/container/block_cache.h"
#include "qpx/container/container.h"

namespace qpx::driver {

struct ReadOutcome {
    std::size_t delivered = 0;  // bytes of `out` filled, from its start
    std::error_code error;      // why fewer than all bytes were delivered
};

// Fills `out` from sector `first` on. Stops at the first sector that cannot
// be delivered: one marked in the defect map, one the container does not
// hold, one of the wrong kind for the read, or unreadable stored data.
ReadOutcome read_data(const container::Container& medium, container::BlockCache& cache,
                      std::uint32_t first, std::span<std::uint8_t> out);

}  // namespace qpx::driver
