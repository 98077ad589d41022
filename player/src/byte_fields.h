// Little-endian fields of the ring records, the driver messages and wave
// file chunks, byte by byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace qpx::player {

inline std::uint16_t load_le16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
inline std::uint32_t load_le32(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8) | (std::uint32_t{b[at + 2]} << 16) |
           (std::uint32_t{b[at + 3]} << 24);
}
inline void store_le16(std::span<std::uint8_t> b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void store_le32(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v) {
    store_le16(b, at, static_cast<std::uint16_t>(v));
    store_le16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

}  // namespace qpx::player
