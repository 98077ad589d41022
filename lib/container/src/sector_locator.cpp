#include "qpx/container/sector_locator.h"

#include <algorithm>

#include "qpx/container/errors.h"

namespace qpx::container {
namespace {

std::error_code locate_single_track(AreaKind kind, std::uint64_t base, std::uint32_t sector,
                                    SectorLocation& out) {
    out = SectorLocation{};
    if (sector < kFirstStoredSector) return {};  // zeros
    out.kind = kind;
    out.area_offset = base;
    out.position = static_cast<std::uint64_t>(sector - kFirstStoredSector) * kUserSectorSize;
    return {};
}

std::error_code locate_after_toc(AreaKind kind, std::uint64_t base, std::uint32_t sector,
                                 SectorLocation& out) {
    out = SectorLocation{};
    out.kind = kind;
    out.area_offset = base + kStoredTocSize;
    out.position = static_cast<std::uint64_t>(sector) * kUserSectorSize;
    return {};
}

// Track of a type-5 container holding the sector, or -1. A track's end
// sector belongs to it when no track stores that sector: tracks whose end
// equals the next track's start thus hand the shared sector to the track
// that holds its data.
int find_node(const Header& header, const TrackTable& nodes, std::uint32_t sector) {
    if (header.is_two_session()) {
        const int i = header.first_track - 1;
        return i < static_cast<int>(kTrackNodeCount) && sector >= nodes[i].start ? i : -1;
    }
    const int count = std::min<int>(header.last_track, kTrackNodeCount);
    for (int i = 0; i < count; ++i)
        if (nodes[i].start <= sector && sector < nodes[i].end) return i;
    for (int i = 0; i < count; ++i)
        if (nodes[i].start <= sector && sector == nodes[i].end) return i;
    return -1;
}

std::error_code locate_in_track_table(const Header& header, const TrackTable& nodes,
                                      std::uint32_t sector, SectorLocation& out) {
    out = SectorLocation{};
    const int i = find_node(header, nodes, sector);
    if (i < 0) return Errc::not_found;
    const TrackNode& node = nodes[i];

    AreaKind kind;
    switch (node.storage_kind()) {
        case Storage::plain: kind = AreaKind::plain; break;
        case Storage::normal: kind = AreaKind::normal_blocks; break;
        case Storage::raw: kind = AreaKind::raw; break;
        case Storage::maximal: kind = AreaKind::maximal_blocks; break;
        case Storage::wave: return Errc::wrong_track_mode;
        default: return Errc::bad_container;
    }
    // The data area holds the sectors up to end - 1; `end` itself is found
    // in this node but has no stored bytes.
    if (sector >= node.end) return Errc::not_found;

    out.area = static_cast<std::uint8_t>(i);
    const std::uint32_t first_stored = node.start == 0 ? kFirstStoredSector : node.start;
    if (sector < first_stored) return {};  // zeros

    // Raw storage always holds 2,352-byte sectors; otherwise the disc format
    // decides, except in the two-session layout, which counts 2,048.
    std::uint32_t stride = kUserSectorSize;
    if (kind == AreaKind::raw)
        stride = kRawSectorSize;
    else if (!header.is_two_session() && uses_raw_sector_positions(header.disc_format))
        stride = kRawSectorSize;

    out.kind = kind;
    out.stride = stride;
    out.area_offset = node.data_offset();
    out.position = static_cast<std::uint64_t>(sector - first_stored) * stride;
    return {};
}

}  // namespace

std::error_code locate_sector(const Header& header, std::uint64_t base, const TrackTable& nodes,
                              std::uint32_t sector, SectorLocation& out) {
    switch (header.container_type()) {
        case ContainerType::plain: return locate_single_track(AreaKind::plain, base, sector, out);
        case ContainerType::normal_blocks:
            return locate_single_track(AreaKind::normal_blocks, base, sector, out);
        case ContainerType::maximal_blocks:
            return locate_single_track(AreaKind::maximal_blocks, base, sector, out);
        case ContainerType::toc_plain: return locate_after_toc(AreaKind::plain, base, sector, out);
        case ContainerType::toc_normal_blocks:
            return locate_after_toc(AreaKind::normal_blocks, base, sector, out);
        case ContainerType::track_table: return locate_in_track_table(header, nodes, sector, out);
    }
    out = SectorLocation{};
    return Errc::bad_container;
}

}  // namespace qpx::container
