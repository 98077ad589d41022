// How drives are numbered and spread over adapters and buses.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "qpx/driver/scsi_request.h"

namespace qpx::driver {

inline constexpr std::uint32_t kControllerUnits = 8;       // units 0..7 on bus 0
inline constexpr std::uint32_t kTargetsPerBus = 8;
inline constexpr std::uint32_t kMaxDrivesPerAdapter = 448;
inline constexpr std::uint32_t kMaxTransferBytes = 65536;  // largest data transfer of one request
inline constexpr std::uint32_t kDefaultBufferSets = 10;

// Unit number of an address: bus * 8 + target.
constexpr std::uint32_t unit_of(const ScsiAddress& a) { return a.bus * kTargetsPerBus + a.target; }
constexpr bool is_drive_unit(std::uint32_t unit) { return unit >= kControllerUnits; }
constexpr std::uint32_t drive_of_unit(std::uint32_t unit) { return unit - kControllerUnits; }
constexpr std::uint32_t unit_of_drive(std::uint32_t drive) { return drive + kControllerUnits; }
constexpr ScsiAddress address_of_drive(std::uint32_t drive) {
    return {static_cast<std::uint8_t>(drive / kTargetsPerBus + 1),
            static_cast<std::uint8_t>(drive % kTargetsPerBus), 0};
}

// Buses of an adapter with `drives` drives: bus 0 plus one per eight drives.
constexpr std::uint32_t bus_count(std::uint32_t drives) { return (drives - 1) / kTargetsPerBus + 2; }

// The configured number of buffer sets: values outside 1..100 become 10.
std::uint32_t clamp_buffer_set_setting(std::uint32_t configured);

// Drives per adapter for `total` drives: 448 each while more remain, then the rest.
std::vector<std::uint32_t> drives_per_adapter(std::uint32_t total);

}  // namespace qpx::driver
