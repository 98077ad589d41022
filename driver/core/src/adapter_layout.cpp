#include "qpx/driver/adapter_layout.h"

#include <algorithm>

namespace qpx::driver {

std::uint32_t clamp_buffer_set_setting(std::uint32_t configured) {
    return configured >= 1 && configured <= 100 ? configured : kDefaultBufferSets;
}

std::vector<std::uint32_t> drives_per_adapter(std::uint32_t total) {
    std::vector<std::uint32_t> adapters;
    while (total > 0) {
        const std::uint32_t here = std::min(total, kMaxDrivesPerAdapter);
        adapters.push_back(here);
        total -= here;
    }
    return adapters;
}

}  // namespace qpx::driver
