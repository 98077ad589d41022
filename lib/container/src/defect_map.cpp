#include "qpx/container/defect_map.h"

namespace qpx::container {

DefectMap DefectMap::sized_for(std::uint32_t end_sector_sum) {
    return DefectMap(std::vector<std::uint8_t>(end_sector_sum / 8 + 1, 0));
}

bool DefectMap::mark(std::uint32_t sector) {
    const std::size_t byte = sector / 8;
    if (byte >= bytes_.size()) return false;
    bytes_[byte] |= static_cast<std::uint8_t>(0x80u >> (sector % 8));
    return true;
}

}  // namespace qpx::container
