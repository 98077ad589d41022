// MODE SELECT(6): accepted only for "Korrektur 2" copies, whose raw sectors
// a reader may switch to; the block length must be 2,048 or 2,352. Reads do
// not depend on it: raw reads are told apart by their length.
#include "be_fields.h"
#include "commands.h"
#include "drive_opening.h"
#include "qpx/container/format.h"
#include "sense.h"

namespace qpx::driver {
namespace {

constexpr std::size_t kMinimumParameterList = 12;  // mode header and one block descriptor
constexpr std::size_t kBlockLengthOffset = 9;

}  // namespace

SrbStatus mode_select6(const Unit& unit, ScsiRequest& request) {
    const auto medium = ready_medium(unit);
    if (!medium || medium->header().disc_format != container::disc_format::korrektur2)
        return check_condition(request, sense::kNotReady, sense::kAscInvalidFieldInParameterList);
    if (request.data.size() < kMinimumParameterList)
        return check_condition(request, sense::kNotReady, sense::kAscInvalidFieldInCdb);
    const std::uint32_t block_length = load_be24(request.data, kBlockLengthOffset);
    if (block_length != container::kUserSectorSize && block_length != container::kRawSectorSize)
        return check_condition(request, sense::kNotReady, sense::kAscInvalidFieldInParameterList);
    return SrbStatus::success;
}

}  // namespace qpx::driver
