// READ(12): user data in 2,048-byte blocks, as many as the CDB's transfer
// length asks and the data buffer holds. A read that stops early answers
// MEDIUM ERROR naming the first sector not delivered.
#include <algorithm>

#include "be_fields.h"
#include "commands.h"
#include "disc_extent.h"
#include "qpx/container/format.h"
#include "read_data.h"
#include "read_failure.h"
#include "read_path.h"
#include "sense.h"

namespace qpx::driver {
namespace {

using container::kUserSectorSize;

SrbStatus serve_read12(const container::Container& medium, container::BlockCache& cache, const Unit&,
                       ScsiRequest& request) {
    const std::uint32_t first = load_be32(request.cdb, 2);
    const std::uint64_t blocks = load_be32(request.cdb, 6);
    const std::size_t bytes = static_cast<std::size_t>(
        std::min<std::uint64_t>(blocks * kUserSectorSize, request.data.size() / kUserSectorSize * kUserSectorSize));
    if (bytes > 0 && first >= disc_sector_count(medium))
        return check_condition(request, sense::kIllegalRequest, kAscLbaOutOfRange);
    const ReadOutcome outcome = read_data(medium, cache, first, request.data.first(bytes));
    if (outcome.error || outcome.delivered < bytes)
        return unrecovered_read(request, outcome.delivered,
                                first + static_cast<std::uint32_t>(outcome.delivered / kUserSectorSize));
    request.transferred = outcome.delivered;
    return SrbStatus::success;
}

}  // namespace

SrbStatus read12(AdapterState& adapter, Unit& unit, ScsiRequest& request) {
    return accept_read(adapter, unit, request, serve_read12);
}

}  // namespace qpx::driver
