// Turns one stored block (2-byte head and payload) into its sectors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <system_error>

namespace qpx::container {

enum class BlockCompression { normal, maximal };

// Decodes `stored` into `out` (capacity: the container's block size) and sets
// `decoded` to the number of bytes produced. A head whose length exceeds the
// payload, an uncompressed length beyond `out`, or a stream the decoder
// rejects is a medium_error; `out` then holds nothing the caller may use.
std::error_code decode_block(std::span<const std::uint8_t> stored, BlockCompression compression,
                             std::span<std::uint8_t> out, std::size_t& decoded);

}  // namespace qpx::container
