// Map of sectors that could not be read from the source disc: one bit per
// sector, bit (0x80 >> (s mod 8)) of byte s / 8.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace qpx::container {

class DefectMap {
public:
    DefectMap() = default;
    explicit DefectMap(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    // A map sized as writers size it: (sum of the data tracks' end sectors) / 8 + 1.
    static DefectMap sized_for(std::uint32_t end_sector_sum);

    bool is_marked(std::uint32_t sector) const {
        const std::size_t byte = sector / 8;
        return byte < bytes_.size() && (bytes_[byte] & (0x80u >> (sector % 8))) != 0;
    }
    // Marks a sector; returns false when the map is too short to hold it.
    bool mark(std::uint32_t sector);

    std::span<const std::uint8_t> bytes() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace qpx::container
