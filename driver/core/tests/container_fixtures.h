// Containers for the core's tests, written by the container writer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "qpx/container/format.h"
#include "qpx/container_writer/container_plan.h"
#include "qpx/container_writer/sector_source.h"

namespace qpx::driver::test {

// `count` sectors of 2,048 bytes; each starts with its own number (little
// endian) followed by a pattern derived from it, so misplaced reads show.
container_writer::MemorySectorSource numbered_sectors(std::uint32_t count);

// Sector `i` of a sector source, read whole.
std::vector<std::uint8_t> sector_bytes(const container_writer::SectorSource& source, std::uint32_t i,
                                       std::uint32_t count = 1);

// A single-track container of `type` over `sectors` (disc sector s = source sector s).
void write_single_track(const std::filesystem::path& path, container::ContainerType type,
                        const container_writer::SectorSource& sectors,
                        std::uint16_t disc_format = container::disc_format::single_data,
                        std::vector<std::uint32_t> defective = {});

// A header block alone: enough for the TOC and capacity of a single-track container.
void write_header_only(const std::filesystem::path& path, container::ContainerType type,
                       std::uint32_t total_bytes);

// Overwrite a little-endian 32-bit field, or any bytes, of a file.
void patch_le32(const std::filesystem::path& path, std::uint64_t offset, std::uint32_t value);
void patch_bytes(const std::filesystem::path& path, std::uint64_t offset, std::span<const std::uint8_t> bytes);

}  // namespace qpx::driver::test
