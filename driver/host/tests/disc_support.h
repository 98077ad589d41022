// Containers made from real ISO images (xorriso), with the bytes a drive
// must read from them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace qpx::testing {

struct DiscImage {
    std::filesystem::path container;
    // What READ(10) answers for every sector: the ISO image, its first 16
    // sectors (never stored in a container) as zeros.
    std::vector<std::uint8_t> sectors;
    std::uint32_t sector_count() const { return static_cast<std::uint32_t>(sectors.size() / 2048); }
    std::span<const std::uint8_t> sector(std::uint32_t lba, std::uint32_t count = 1) const {
        return std::span(sectors).subspan(std::size_t{lba} * 2048, std::size_t{count} * 2048);
    }
};

// The run's shared ISO of at least 50 MB as a plain container; made once per process.
const DiscImage& large_plain_disc();
// A small ISO of its own files as a compressed (normal blocks) container.
const DiscImage& small_compressed_disc();

}  // namespace qpx::testing
