// Sector data for container tests: every sector tells its own number, so a
// read that lands on the wrong sector or the wrong offset is caught.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "qpx/container/container.h"

namespace qpx::container::test {

// `count` sectors of `sector_bytes`; sector i starts with its number and
// then repeats a short pattern of it (compressible, but distinct per sector).
std::vector<std::uint8_t> numbered_sectors(std::uint32_t count, std::size_t sector_bytes = 2048,
                                           std::uint32_t first_number = 0);

// `count` sectors of bytes no compressor shrinks.
std::vector<std::uint8_t> noise_sectors(std::uint32_t count, std::uint64_t seed);

std::span<const std::uint8_t> sector_of(std::span<const std::uint8_t> sectors, std::uint32_t i,
                                        std::size_t sector_bytes = 2048);

std::shared_ptr<const Container> open_or_fail(const std::filesystem::path& path,
                                              const OpenOptions& options = {});

// Overwrites bytes of a file in place.
void patch_file(const std::filesystem::path& path, std::uint64_t offset, std::span<const std::uint8_t> bytes);
void patch_le32(const std::filesystem::path& path, std::uint64_t offset, std::uint32_t value);
void patch_le16(const std::filesystem::path& path, std::uint64_t offset, std::uint16_t value);
std::uint32_t read_le32(const std::filesystem::path& path, std::uint64_t offset);
std::uint16_t read_le16(const std::filesystem::path& path, std::uint64_t offset);

}  // namespace qpx::container::test
