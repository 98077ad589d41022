// READ CAPACITY: the last LBA a reader may ask for, and 2,048-byte blocks.
//
// The address is the last sector any track of the container holds, so that
// the class driver accepts reads everywhere on the disc: for single-track
// containers total bytes / 2,048 - 1; for type 5 the highest track end - 1
// over all tracks, the data session of a CD-Extra copy included (total bytes
// counts 2,352 bytes per audio sector and would misplace it); for types 2 and
// 3 the lead-out of the stored TOC - 1.
#include <algorithm>
#include <array>

#include "be_fields.h"
#include "commands.h"
#include "drive_opening.h"
#include "qpx/container/format.h"
#include "sense.h"
#include "toc_builder.h"

namespace qpx::driver {
namespace {

using container::ContainerType;

std::int64_t sector_count(const container::Container& medium) {
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

}  // namespace

SrbStatus read_capacity(const Unit& unit, ScsiRequest& request) {
    const auto medium = ready_medium(unit);
    if (!medium) return check_condition(request, sense::kNotReady, sense::kAscMediumNotPresent);
    const std::int64_t count = sector_count(*medium);
    const std::int64_t last = std::clamp<std::int64_t>(count - 1, 0, UINT32_MAX);

    std::array<std::uint8_t, 8> answer{};
    store_be32(answer, 0, static_cast<std::uint32_t>(last));
    store_be32(answer, 4, container::kUserSectorSize);
    return answer_data(request, answer.data(), answer.size(), answer.size());
}

}  // namespace qpx::driver
