// REPORT LUNS: every unit has LUN 0 only.
#include "be_fields.h"
#include "commands.h"
#include "mmc_answers.h"

namespace qpx::driver {

SrbStatus report_luns(ScsiRequest& request) {
    constexpr std::size_t kMinimumAllocation = 16;
    const std::uint32_t allocation = load_be32(request.cdb, 6);
    if (request.cdb[2] > 2 || allocation < kMinimumAllocation) return invalid_field(request);
    std::vector<std::uint8_t> data(16, 0);
    store_be32(data, 0, 8);  // one 8-byte LUN entry: LUN 0
    return answer(request, data, allocation);
}

}  // namespace qpx::driver
