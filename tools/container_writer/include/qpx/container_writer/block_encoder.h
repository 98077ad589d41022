// Stores one block as head + payload: compressed when that is shorter than the
// block, else the bytes themselves with head = length - 1.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "qpx/codec/codec.h"

namespace qpx::container_writer {

enum class BlockCodec { normal, maximal };

class BlockEncoder {
public:
    explicit BlockEncoder(BlockCodec codec);
    // The stored form of `block` (at most 32,768 bytes). Valid until the next call.
    std::span<const std::uint8_t> encode(std::span<const std::uint8_t> block);

private:
    BlockCodec codec_;
    codec::NormalCompressor normal_;
    std::vector<std::uint8_t> scratch_;
    std::vector<std::uint8_t> stored_;
};

}  // namespace qpx::container_writer
