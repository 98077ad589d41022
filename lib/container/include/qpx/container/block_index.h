// Block index of a compressed data area: uint32 file offsets, entry k the
// start of block k, the entry after the last block the end of the data. Its
// length is given by entry 0 (the first block starts right after the index).
#pragma once

#include <cstdint>
#include <span>
#include <system_error>
#include <vector>

namespace qpx::container {

struct BlockExtent {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;  // head plus payload
};

class BlockIndex {
public:
    BlockIndex() = default;
    BlockIndex(std::uint64_t offset, std::vector<std::uint32_t> entries)
        : offset_(offset), entries_(std::move(entries)) {}

    // Loads the index at `offset` of an open file. Indexes longer than a disc
    // of 99:59:74 needs are refused (bad_container); truncated or
    // inconsistent ones are medium errors.
    static std::error_code load(int fd, std::uint64_t offset, BlockIndex& out);

    // Where block k is stored. Fails with medium_error when k has no entry
    // pair, an entry is unused (0xFFFFFFFF), or the length is outside
    // head + 1 .. the largest stored block.
    std::error_code extent(std::uint32_t k, BlockExtent& out) const;

    std::uint64_t offset() const { return offset_; }
    std::span<const std::uint32_t> entries() const { return entries_; }

private:
    std::uint64_t offset_ = 0;
    std::vector<std::uint32_t> entries_;
};

}  // namespace qpx::container
