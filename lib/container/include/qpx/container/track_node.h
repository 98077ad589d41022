// Track nodes of type-5 containers: 70 records of 137 bytes, node i
// describing track i + 1.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "qpx/container/format.h"

namespace qpx::container {

struct TrackNode {
    std::uint32_t start = 0;  // first sector of the track
    std::uint32_t end = 0;    // sectors up to end - 1 are stored
    std::uint8_t storage = 0;
    std::array<std::uint8_t, kNodeLocationSize> location{};

    Storage storage_kind() const { return static_cast<Storage>(storage); }
    bool is_unused() const;

    // Block and plain storages: file offset of the track's data area.
    std::uint32_t data_offset() const;
    void set_data_offset(std::uint32_t offset);

    // Wave storage: the file name in the location field, up to its NUL.
    std::string location_text() const;
    void set_location_text(std::string_view name);
    // The wave file's name when it is a bare name inside the container's
    // folder; nothing for names that would reach elsewhere ("/", "..", empty).
    std::optional<std::string> safe_wave_file_name() const;
};

using TrackTable = std::array<TrackNode, kTrackNodeCount>;

TrackNode parse_track_node(std::span<const std::uint8_t, kTrackNodeSize> record);
void serialize_track_node(const TrackNode& node, std::span<std::uint8_t, kTrackNodeSize> record);

TrackTable parse_track_table(std::span<const std::uint8_t, kTrackTableSize> table);
void serialize_track_table(const TrackTable& nodes, std::span<std::uint8_t, kTrackTableSize> table);

}  // namespace qpx::container
