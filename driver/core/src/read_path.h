// READ(10): the readiness check, a buffer set for compressed containers and
// the work item that serves the read; the request stays pending until the
// host completes it.
#pragma once

#include "adapter_state.h"
#include "qpx/driver/scsi_request.h"

namespace qpx::driver {

// Accepts a READ(10): BUSY while the unit reads or when no buffer set is
// free, the readiness check's answer when not ready, else pending.
SrbStatus accept_read(AdapterState& adapter, Unit& unit, ScsiRequest& request);

// Hands finished reads back (see Adapter::complete_finished).
std::size_t complete_finished_reads(AdapterState& adapter, const std::function<void(ScsiRequest&)>& complete);

}  // namespace qpx::driver
