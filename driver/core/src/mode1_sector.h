// A raw 2,352-byte mode 1 sector built around 2,048 bytes of user data: the
// sync pattern, the header (address in BCD minute/second/frame, mode 1), the
// data, the EDC, eight zero bytes and the P and Q parity of the sector's
// Reed-Solomon product code. Cooked tracks keep only the user data; reads
// that ask for the whole sector get it rebuilt this way.
#pragma once

#include <cstdint>
#include <span>

namespace qpx::driver {

inline constexpr std::size_t kMode1HeaderAt = 12;
inline constexpr std::size_t kMode1DataAt = 16;
inline constexpr std::size_t kMode1EdcAt = 2064;

void build_mode1_sector(std::uint32_t lba, std::span<const std::uint8_t, 2048> user_data,
                        std::span<std::uint8_t, 2352> out);

}  // namespace qpx::driver
