// Big-endian fields of command blocks and answers, byte by byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "qpx/container/byte_order.h"

namespace qpx::driver {

using container::load_be32;
using container::load_le16;
using container::load_le32;
using container::store_be32;

inline std::uint16_t load_be16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>((b[at] << 8) | b[at + 1]);
}

inline void store_be16(std::span<std::uint8_t> b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v >> 8);
    b[at + 1] = static_cast<std::uint8_t>(v);
}

inline std::uint32_t load_be24(std::span<const std::uint8_t> b, std::size_t at) {
    return (static_cast<std::uint32_t>(b[at]) << 16) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           static_cast<std::uint32_t>(b[at + 2]);
}

}  // namespace qpx::driver
