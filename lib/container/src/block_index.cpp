#include "qpx/container/block_index.h"

#include <array>

#include "qpx/container/byte_order.h"
#include "qpx/container/errors.h"
#include "qpx/container/file_io.h"
#include "qpx/container/format.h"

namespace qpx::container {

std::error_code BlockIndex::load(int fd, std::uint64_t offset, BlockIndex& out) {
    std::array<std::uint8_t, 4> first{};
    std::error_code io;
    if (pread_full(fd, first, offset, io) != first.size()) return Errc::medium_error;
    const std::uint32_t block0 = load_le32(first, 0);
    if (block0 == kUnusedIndexEntry || block0 < offset + 4 || (block0 - offset) % 4 != 0)
        return Errc::medium_error;
    const std::uint64_t count = (block0 - offset) / 4;
    if (count > kMaxIndexEntries) return Errc::bad_container;

    std::vector<std::uint8_t> bytes(count * 4);
    if (pread_full(fd, bytes, offset, io) != bytes.size()) return Errc::medium_error;
    std::vector<std::uint32_t> entries(count);
    for (std::size_t i = 0; i < count; ++i) entries[i] = load_le32(bytes, i * 4);
    out = BlockIndex(offset, std::move(entries));
    return {};
}

std::error_code BlockIndex::extent(std::uint32_t k, BlockExtent& out) const {
    if (static_cast<std::size_t>(k) + 1 >= entries_.size()) return Errc::medium_error;
    const std::uint32_t begin = entries_[k];
    const std::uint32_t end = entries_[k + 1];
    if (begin == kUnusedIndexEntry || end == kUnusedIndexEntry) return Errc::medium_error;
    if (end <= begin || end - begin <= kBlockHeadSize || end - begin > kMaxStoredBlock)
        return Errc::medium_error;
    out = {begin, end - begin};
    return {};
}

}  // namespace qpx::container
