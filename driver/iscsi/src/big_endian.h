// Big-endian fields of PDUs, read and written byte by byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace qpx::iscsi {

inline std::uint16_t get_be16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]);
}
inline std::uint32_t get_be24(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t{b[at]} << 16 | std::uint32_t{b[at + 1]} << 8 | b[at + 2];
}
inline std::uint32_t get_be32(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 | std::uint32_t{b[at + 2]} << 8 | b[at + 3];
}
inline std::uint64_t get_be64(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint64_t{get_be32(b, at)} << 32 | get_be32(b, at + 4);
}

inline void put_be16(std::span<std::uint8_t> b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v >> 8);
    b[at + 1] = static_cast<std::uint8_t>(v);
}
inline void put_be24(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v >> 16);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
    b[at + 2] = static_cast<std::uint8_t>(v);
}
inline void put_be32(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v) {
    put_be16(b, at, static_cast<std::uint16_t>(v >> 16));
    put_be16(b, at + 2, static_cast<std::uint16_t>(v));
}
inline void put_be64(std::span<std::uint8_t> b, std::size_t at, std::uint64_t v) {
    put_be32(b, at, static_cast<std::uint32_t>(v >> 32));
    put_be32(b, at + 4, static_cast<std::uint32_t>(v));
}

}  // namespace qpx::iscsi
