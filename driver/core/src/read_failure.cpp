#include "read_failure.h"

#include "be_fields.h"
#include "sense.h"

namespace qpx::driver {
namespace {

constexpr std::size_t kInformationAt = 3;
constexpr std::uint8_t kValidBit = 0x80;

}  // namespace

SrbStatus check_condition_at(ScsiRequest& request, std::uint8_t key, std::uint8_t asc,
                             std::uint32_t information) {
    const SrbStatus status = check_condition(request, key, asc);
    if (status != SrbStatus::error_with_sense) return status;
    request.sense[0] |= kValidBit;
    store_be32(request.sense, kInformationAt, information);
    return status;
}

SrbStatus unrecovered_read(ScsiRequest& request, std::size_t delivered, std::uint32_t failed_sector) {
    request.transferred = delivered;
    return check_condition_at(request, sense::kMediumError, kAscUnrecoveredReadError, failed_sector);
}

}  // namespace qpx::driver
