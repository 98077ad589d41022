// Writing one data area: sectors back to back, or 16-sector blocks behind a
// block index that is reserved as 0xFFFFFFFF and rewritten once the blocks
// are in place.
#pragma once

#include <cstdint>
#include <span>

#include "qpx/container_writer/block_encoder.h"
#include "qpx/container_writer/sector_source.h"

namespace qpx::container_writer {

// Writes `data` at `offset` of `fd` or throws.
void write_at(int fd, std::span<const std::uint8_t> data, std::uint64_t offset);

struct AreaSectors {
    const SectorSource* source = nullptr;
    std::uint32_t first = 0;   // first source sector of the area
    std::uint32_t count = 0;   // sectors in the area
};

// Returns the offset right after the area.
std::uint64_t write_plain_area(int fd, std::uint64_t offset, const AreaSectors& sectors);
std::uint64_t write_block_area(int fd, std::uint64_t offset, const AreaSectors& sectors,
                               BlockCodec codec, std::uint32_t spare_entries);

}  // namespace qpx::container_writer
