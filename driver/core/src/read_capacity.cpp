// READ CAPACITY: the last LBA a reader may ask for, and 2,048-byte blocks.
//
// The address is the last sector any track of the container holds (see
// disc_sector_count), so that the class driver accepts reads everywhere on
// the disc.
#include <algorithm>
#include <array>

#include "be_fields.h"
#include "commands.h"
#include "disc_extent.h"
#include "drive_opening.h"
#include "qpx/container/format.h"
#include "sense.h"

namespace qpx::driver {

SrbStatus read_capacity(const Unit& unit, ScsiRequest& request) {
    const auto medium = ready_medium(unit);
    if (!medium) return check_condition(request, sense::kNotReady, sense::kAscMediumNotPresent);
    const std::int64_t count = disc_sector_count(*medium);
    const std::int64_t last = std::clamp<std::int64_t>(count - 1, 0, UINT32_MAX);

    std::array<std::uint8_t, 8> answer{};
    store_be32(answer, 0, static_cast<std::uint32_t>(last));
    store_be32(answer, 4, container::kUserSectorSize);
    return answer_data(request, answer.data(), answer.size(), answer.size());
}

}  // namespace qpx::driver
