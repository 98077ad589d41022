// Reads from the medium: the readiness check, a buffer set for compressed
// containers and the work item that serves the read; the request stays
// pending until the host completes it.
#pragma once

#include "adapter_state.h"
#include "qpx/container/block_cache.h"
#include "qpx/container/container.h"
#include "qpx/driver/scsi_request.h"

namespace qpx::driver {

// What a work item does with an accepted read: fills the request's data and
// transferred length from the medium and returns the request's status.
using ReadServer = SrbStatus (*)(const container::Container& medium, container::BlockCache& cache,
                                 const Unit& unit, ScsiRequest& request);

// READ(10): the request's data length says how much to read, not the CDB's
// block count; a short read answers NO SENSE.
SrbStatus serve_read10(const container::Container& medium, container::BlockCache& cache, const Unit& unit,
                       ScsiRequest& request);

// Accepts a read: BUSY while the unit reads or when no buffer set is free,
// the readiness check's answer when not ready, else pending until `serve`
// has run in a work item.
SrbStatus accept_read(AdapterState& adapter, Unit& unit, ScsiRequest& request, ReadServer serve = serve_read10);

// Hands finished reads back (see Adapter::complete_finished).
std::size_t complete_finished_reads(AdapterState& adapter, const std::function<void(ScsiRequest&)>& complete);

}  // namespace qpx::driver
