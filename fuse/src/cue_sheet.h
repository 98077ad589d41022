// The cue sheet of image.bin: one binary file of raw 2352-byte sectors from
// LBA 0 to the lead-out, each track at its start.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "disc_layout.h"

namespace qpx::fuse_view {

std::string cue_sheet(const DiscLayout& layout, std::string_view bin_name);

// "MM:SS:FF" of a sector's position in the file (75 frames a second, no
// 2-second offset: the file starts at LBA 0).
std::string cue_time(std::uint32_t sector);

}  // namespace qpx::fuse_view
