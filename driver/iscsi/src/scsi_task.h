// One SCSI command of a connection, with the buffers the drive answers into.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "qpx/driver/scsi_request.h"

namespace qpx::iscsi {

struct ScsiTask {
    std::uint32_t tag = 0;
    std::uint32_t expected_length = 0;  // expected data transfer length of the command
    std::uint64_t lun = 0;
    driver::ScsiRequest request;
    std::vector<std::uint8_t> data;
    std::array<std::uint8_t, 32> sense{};
    bool queued = false;   // handed to the drive queue and not finished
    bool aborted = false;  // ended by task management: no answer goes out
};

}  // namespace qpx::iscsi
