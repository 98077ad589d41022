// How the target hands SCSI commands to the drives. The host implements it
// over the core's Adapter: it serialises the calls into its adapter context
// and completes reads when their work items have finished.
#pragma once

#include <cstdint>
#include <functional>

#include "qpx/driver/scsi_request.h"

namespace qpx::iscsi {

class CommandRunner {
public:
    virtual ~CommandRunner() = default;

    // Runs `request` (its address already set to the drive's) on drive
    // `drive` and calls `completion` exactly once when the request holds its
    // final answer: status, SCSI status, sense and transferred length. The
    // completion may be called from any thread, also before run() returns.
    // The target keeps the request alive until then and never has more than
    // one request running per drive.
    virtual void run(std::uint32_t drive, driver::ScsiRequest& request, std::function<void()> completion) = 0;

    // ABORT TASK: the read running on `drive` ends early (Adapter::abort_command).
    virtual void abort(std::uint32_t drive) = 0;

    // LOGICAL UNIT RESET: every running read ends early (Adapter::reset_bus).
    virtual void reset() = 0;
};

}  // namespace qpx::iscsi
