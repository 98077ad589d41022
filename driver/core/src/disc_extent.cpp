#include "disc_extent.h"

#include <algorithm>

#include "qpx/container/format.h"
#include "toc_builder.h"

namespace qpx::driver {

std::int64_t disc_sector_count(const container::Container& medium) {
    using container::ContainerType;
    const container::Header& h = medium.header();
    switch (h.container_type()) {
        case ContainerType::track_table: {
            std::uint32_t end = 0;
            for (const container::TrackNode& node : medium.track_nodes())
                if (!node.is_unused()) end = std::max(end, node.end);
            return end;
        }
        case ContainerType::toc_plain:
        case ContainerType::toc_normal_blocks:
            if (const auto toc = build_toc(medium); toc && toc->lead_out) return toc->lead_out->address.lba;
            break;
        default: break;
    }
    return h.total_bytes / container::kUserSectorSize;
}

}  // namespace qpx::driver
