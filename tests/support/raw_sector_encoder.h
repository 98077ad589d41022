// Raw 2352-byte CD sectors made from 2048 bytes of user data, as a CD
// recorder lays them out: sync, header with the sector's address in BCD
// minute/second/frame and mode 1, the data, the EDC and the P and Q parity
// of the sector's error correction.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace qpx::testing {

inline constexpr std::size_t kRawSectorBytes = 2352;
inline constexpr std::size_t kUserDataBytes = 2048;

std::array<std::uint8_t, kRawSectorBytes> encode_mode1_sector(std::uint32_t lba,
                                                              std::span<const std::uint8_t> user_data);

}  // namespace qpx::testing
