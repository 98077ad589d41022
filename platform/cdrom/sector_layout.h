// Fixed parts of a raw 2352-byte CD sector.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace qpx::cdrom {

// 00, ten FF, 00: the first twelve bytes of every data sector.
inline constexpr std::array<std::uint8_t, 12> kSyncPattern = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                              0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

inline bool has_sync_pattern(std::span<const std::uint8_t> sector) {
    if (sector.size() < kSyncPattern.size()) return false;
    for (std::size_t i = 0; i < kSyncPattern.size(); ++i)
        if (sector[i] != kSyncPattern[i]) return false;
    return true;
}

}  // namespace qpx::cdrom
