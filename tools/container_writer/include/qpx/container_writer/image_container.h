// A container made from a disc image of 2,048-byte sectors (an ISO image).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "qpx/container/format.h"

namespace qpx::container_writer {

struct ImageContainerOptions {
    std::string description;
    // Sectors marked unreadable: the container gets a defect map (copy method
    // "Korrektur 1", or "Korrektur 2" with raw storage).
    std::vector<std::uint32_t> defective_sectors;
};

// Writes `image` as a container of `type`. Type 5 holds the image as one data
// track from sector 0 in `storage`; raw storage keeps it as mode-1 sectors of
// a CD-i bridge disc. Throws std::runtime_error when it cannot be written.
void write_image_container(const std::filesystem::path& image, container::ContainerType type,
                           container::Storage storage, const std::filesystem::path& target,
                           const ImageContainerOptions& options = {});

}  // namespace qpx::container_writer
