// The readiness check of a drive and the work item that opens its container.
#pragma once

#include <memory>

#include "adapter_state.h"
#include "qpx/container/container.h"
#include "qpx/driver/scsi_request.h"

namespace qpx::driver {

// The readiness check used by TEST UNIT READY and before every READ(10):
// queues the opening of the container when the drive was updated (or has a
// container path but no open file), then answers NOT READY / medium not
// present while it opens, a pending sense once, and afterwards success when
// a container is open.
SrbStatus verify_drive_status(AdapterState& adapter, Unit& unit, ScsiRequest& request);

// The drive's open container when it is not being (re)opened; none otherwise.
std::shared_ptr<const container::Container> ready_medium(const Unit& unit);

// The opening work item: closes the old container, reads entry k of the
// drive list and opens the container it names, leaving the sense to report
// at the next readiness check.
void open_drive(AdapterState& adapter, Unit& unit);

}  // namespace qpx::driver
