// REQUEST SENSE: the condition the next command would report, as data with
// GOOD status: the readiness check's sense (which it then has reported),
// else NO SENSE.
#include <array>

#include "commands.h"
#include "drive_opening.h"
#include "mmc_answers.h"

namespace qpx::driver {

SrbStatus request_sense(AdapterState& adapter, Unit& unit, ScsiRequest& request) {
    constexpr std::size_t kFixedSenseLength = 18;
    if (request.cdb[1] & 0x01) return invalid_field(request);  // descriptor format is not offered
    std::array<std::uint8_t, kFixedSenseLength> sense{};
    ScsiRequest probe;
    probe.address = request.address;
    probe.sense = sense;
    const SrbStatus ready = verify_drive_status(adapter, unit, probe);
    if (ready != SrbStatus::error_with_sense) {
        sense.fill(0);
        sense[0] = 0x70;
        sense[7] = kFixedSenseLength - 8;
    }
    return answer_data(request, sense.data(), sense.size(), request.cdb[4]);
}

}  // namespace qpx::driver
