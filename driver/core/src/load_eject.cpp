// START STOP UNIT with LoEj: eject stops the audio as a stop does, then asks
// the host to take the container out; load is accepted (the container is
// chosen through the drive list, not by closing a tray). Without LoEj the
// command is the stop or start of the audio commands.
#include "commands.h"
#include "mmc_answers.h"
#include "qpx/driver/adapter_layout.h"

namespace qpx::driver {

SrbStatus start_stop_or_eject(AdapterState& adapter, Unit& unit, ScsiRequest& request) {
    constexpr std::uint8_t kStartBit = 0x01, kLoadEjectBit = 0x02;
    const std::uint8_t flags = request.cdb[4];
    if ((flags & kLoadEjectBit) == 0) return start_stop_unit(adapter, unit, request);
    if (flags & kStartBit) return SrbStatus::success;
    if (!adapter.services.eject || !is_drive_unit(unit.number())) return invalid_field(request);
    start_stop_unit(adapter, unit, request);
    adapter.services.eject->request_eject(drive_of_unit(unit.number()));
    return SrbStatus::success;
}

}  // namespace qpx::driver
