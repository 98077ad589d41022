// What the view makes of a disc: its tracks with their extents as the table
// of contents gives them, the data track that data.iso shows, and the sizes
// of the files.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "cdrom/disc_source.h"

namespace qpx::fuse_view {

struct TrackExtent {
    std::uint8_t number = 0;
    bool audio = false;
    std::uint32_t start = 0;     // LBA
    std::uint32_t sectors = 0;   // up to the next track or the lead-out
    // Data tracks: how many sectors from the start the drive reads; a data
    // track may end before the next track starts. Audio tracks: `sectors`.
    std::uint32_t readable = 0;
    // Data tracks: the mode byte of the raw sectors (1 or 2).
    std::uint8_t data_mode = 1;

    std::uint32_t end() const { return start + sectors; }
};

struct DiscLayout {
    std::vector<TrackExtent> tracks;  // in disc order
    std::uint32_t lead_out = 0;

    // The first data track, which data.iso shows; none on an audio disc.
    const TrackExtent* data_track() const;
    std::uint64_t data_iso_bytes() const;
    // Every sector from LBA 0 to the lead-out, 2352 bytes each.
    std::uint64_t image_bin_bytes() const;
};

// The layout of a table of contents; empty when it names no track, has no
// lead-out, or its starts do not ascend up to the lead-out.
std::optional<DiscLayout> layout_of(const cdrom::Toc& toc);

}  // namespace qpx::fuse_view
