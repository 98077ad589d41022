// Where the bytes of one sector live: which data area, how it is stored and
// at which position of the area's (uncompressed) data.
#pragma once

#include <cstdint>
#include <system_error>

#include "qpx/container/header.h"
#include "qpx/container/track_node.h"

namespace qpx::container {

enum class AreaKind : std::uint8_t {
    zeros,           // sectors 0..15 that are never stored
    plain,           // sectors stored back to back
    raw,             // raw 2352-byte sectors whose user data follows the mode byte
    normal_blocks,   // block index, normal compression
    maximal_blocks,  // block index, zlib streams
};

// Data areas are numbered 0 for single-area containers and by node for type 5.
inline constexpr std::uint8_t kSingleArea = 0;

struct SectorLocation {
    AreaKind kind = AreaKind::zeros;
    std::uint8_t area = kSingleArea;
    std::uint32_t stride = 2048;     // stored bytes per sector
    std::uint64_t area_offset = 0;   // file offset of the sectors, or of the block index
    std::uint64_t position = 0;      // byte position of the sector inside the area's data
};

// Finds sector `sector`. `base` is B, the offset after the header block and
// the defect map; `nodes` are used for type 5 only.
//  - not_found: no track holds the sector, or it lies at or past its track's end;
//  - wrong_track_mode: the sector belongs to an audio track (wave file);
//  - bad_container: unknown container type or track storage.
std::error_code locate_sector(const Header& header, std::uint64_t base, const TrackTable& nodes,
                              std::uint32_t sector, SectorLocation& out);

}  // namespace qpx::container
