#include "area_writer.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "qpx/container/byte_order.h"
#include "qpx/container/file_io.h"
#include "qpx/container/format.h"

namespace qpx::container_writer {
namespace {

constexpr std::uint32_t kPlainChunkSectors = 256;

std::uint32_t to_index_entry(std::uint64_t offset) {
    if (offset >= container::kUnusedIndexEntry)
        throw std::runtime_error("block offset beyond the 32-bit index range");
    return static_cast<std::uint32_t>(offset);
}

void write_index(int fd, std::uint64_t offset, const std::vector<std::uint32_t>& entries) {
    std::vector<std::uint8_t> bytes(entries.size() * 4);
    for (std::size_t i = 0; i < entries.size(); ++i) container::store_le32(bytes, i * 4, entries[i]);
    write_at(fd, bytes, offset);
}

}  // namespace

void write_at(int fd, std::span<const std::uint8_t> data, std::uint64_t offset) {
    std::error_code ec;
    if (!container::pwrite_full(fd, data, offset, ec))
        throw std::runtime_error("write at offset " + std::to_string(offset) + " failed: " + ec.message());
}

std::uint64_t write_plain_area(int fd, std::uint64_t offset, const AreaSectors& area) {
    const std::size_t bytes = area.source->sector_bytes();
    std::vector<std::uint8_t> chunk(std::size_t{kPlainChunkSectors} * bytes);
    for (std::uint32_t done = 0; done < area.count;) {
        const std::uint32_t n = std::min(kPlainChunkSectors, area.count - done);
        const auto part = std::span(chunk).first(std::size_t{n} * bytes);
        area.source->read(area.first + done, part);
        write_at(fd, part, offset);
        offset += part.size();
        done += n;
    }
    return offset;
}

std::uint64_t write_block_area(int fd, std::uint64_t offset, const AreaSectors& area,
                               BlockCodec codec, std::uint32_t spare_entries) {
    const std::size_t bytes = area.source->sector_bytes();
    if (bytes != container::kUserSectorSize)
        throw std::invalid_argument("compressed storage holds 2,048-byte sectors only");
    const std::uint32_t blocks = (area.count + container::kSectorsPerBlock - 1) / container::kSectorsPerBlock;
    std::vector<std::uint32_t> entries(std::size_t{blocks} + 1 + spare_entries, container::kUnusedIndexEntry);
    write_index(fd, offset, entries);  // reserved, every byte 0xFF

    std::uint64_t position = offset + entries.size() * 4;
    entries[0] = to_index_entry(position);
    BlockEncoder encoder(codec);
    std::vector<std::uint8_t> block(container::kUserBlockSize);
    for (std::uint32_t k = 0; k < blocks; ++k) {
        const std::uint32_t first = k * container::kSectorsPerBlock;
        const std::uint32_t n = std::min(container::kSectorsPerBlock, area.count - first);
        const auto sectors = std::span(block).first(std::size_t{n} * bytes);
        area.source->read(area.first + first, sectors);
        const auto stored = encoder.encode(sectors);
        write_at(fd, stored, position);
        position += stored.size();
        entries[k + 1] = to_index_entry(position);
    }
    write_index(fd, offset, entries);
    return position;
}

}  // namespace qpx::container_writer
