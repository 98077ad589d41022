// One SCSI request as the host hands it to the core: the addressed unit, the
// command block, the data buffer and the sense buffer, and what the core
// answers into it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "qpx/driver/srb_status.h"

namespace qpx::driver {

// Bus 0 carries the eight controller units; drive k answers on bus k / 8 + 1,
// target k mod 8. Only LUN 0 exists.
struct ScsiAddress {
    std::uint8_t bus = 0;
    std::uint8_t target = 0;
    std::uint8_t lun = 0;
};

struct ScsiRequest {
    ScsiAddress address;
    std::array<std::uint8_t, 16> cdb{};
    // The data buffer: data the command returns (data-in) or carries
    // (data-out). Its size is the request's data transfer length.
    std::span<std::uint8_t> data;
    // Fixed-format sense data is written here for a check condition; an empty
    // span is a request without a sense buffer.
    std::span<std::uint8_t> sense;

    // Answered by the core.
    std::size_t transferred = 0;  // bytes of `data` the answer fills (data-in) or used (data-out)
    std::uint8_t scsi_status = kScsiGood;
    SrbStatus status = SrbStatus::pending;

    std::uint8_t opcode() const { return cdb[0]; }
};

}  // namespace qpx::driver
