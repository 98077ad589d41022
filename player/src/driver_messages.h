// The player's WRITE BUFFER messages to the port host: a position report
// (60 bytes: message 0x55E1 at 8, unit at 48, frames played at 52, 0 when
// the track has ended) and the player's shutdown (48 bytes, message 0x55E2
// at 8). All other bytes are zero; fields are little-endian.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace qpx::player {

inline constexpr std::array<std::uint8_t, 10> kWriteBufferCdb = {0x3B, 0x01, 0, 0, 0, 0, 0, 0, 0, 0};
inline constexpr std::uint8_t kReportTarget = 1;
inline constexpr std::uint8_t kShutdownTarget = 0;

std::vector<std::uint8_t> position_report_message(std::uint32_t unit, std::uint32_t frames);
std::vector<std::uint8_t> shutdown_message();

}  // namespace qpx::player
