// The commands of the emulated units, one handler each. Every handler runs
// in the serialised context and returns the request's status.
#pragma once

#include "adapter_state.h"
#include "qpx/driver/scsi_request.h"

namespace qpx::driver {

// The command interpreter: answers the request by its operation code.
SrbStatus send_command(AdapterState& adapter, Unit& unit, ScsiRequest& request);

SrbStatus inquiry(const Unit& unit, ScsiRequest& request);
SrbStatus read_capacity(const Unit& unit, ScsiRequest& request);
SrbStatus read_toc(const Unit& unit, ScsiRequest& request);
SrbStatus read_subchannel(const AdapterState& adapter, const Unit& unit, ScsiRequest& request);
SrbStatus play_audio_msf(AdapterState& adapter, Unit& unit, ScsiRequest& request);
SrbStatus pause_resume(AdapterState& adapter, Unit& unit, ScsiRequest& request);
SrbStatus start_stop_unit(AdapterState& adapter, Unit& unit, ScsiRequest& request);
SrbStatus write_buffer(AdapterState& adapter, ScsiRequest& request);
SrbStatus mode_select6(const Unit& unit, ScsiRequest& request);
SrbStatus read12(AdapterState& adapter, Unit& unit, ScsiRequest& request);
// READ CD and READ CD MSF.
SrbStatus read_cd(AdapterState& adapter, Unit& unit, ScsiRequest& request);
SrbStatus report_luns(ScsiRequest& request);
SrbStatus inquiry_vpd(const Unit& unit, ScsiRequest& request);
SrbStatus request_sense(AdapterState& adapter, Unit& unit, ScsiRequest& request);
// MODE SENSE(6) and (10).
SrbStatus mode_sense(ScsiRequest& request);
SrbStatus get_configuration(const Unit& unit, ScsiRequest& request);
SrbStatus event_status(const Unit& unit, ScsiRequest& request);
SrbStatus disc_information(const Unit& unit, ScsiRequest& request);
SrbStatus track_information(const Unit& unit, ScsiRequest& request);
// START STOP UNIT: load and eject with LoEj, else start_stop_unit.
SrbStatus start_stop_or_eject(AdapterState& adapter, Unit& unit, ScsiRequest& request);
SrbStatus mechanism_status(ScsiRequest& request);

}  // namespace qpx::driver
