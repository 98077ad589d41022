// How the reads that address sectors directly (READ(12), READ CD, READ CD
// MSF) answer a read that stops early: MEDIUM ERROR, unrecovered read error,
// with the address of the first sector not delivered in the INFORMATION field.
#pragma once

#include <cstdint>

#include "qpx/driver/scsi_request.h"

namespace qpx::driver {

inline constexpr std::uint8_t kAscUnrecoveredReadError = 0x11;
inline constexpr std::uint8_t kAscLbaOutOfRange = 0x21;
inline constexpr std::uint8_t kAscIllegalModeForTrack = 0x64;

// A check condition whose sense carries `information` (bytes 3..6) with the
// valid bit (byte 0, bit 7) set.
SrbStatus check_condition_at(ScsiRequest& request, std::uint8_t key, std::uint8_t asc,
                             std::uint32_t information);

// 3/11/00 naming `failed_sector`, after `delivered` bytes were transferred.
SrbStatus unrecovered_read(ScsiRequest& request, std::size_t delivered, std::uint32_t failed_sector);

}  // namespace qpx::driver
