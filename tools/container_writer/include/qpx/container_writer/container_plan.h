// What a container shall hold: layout, disc format, tracks and their sources.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "qpx/container/format.h"
#include "qpx/container_writer/sector_source.h"

namespace qpx::container_writer {

// One track of a type-5 container (node i describes track i + 1).
struct TrackPlan {
    std::uint32_t start = 0;  // first sector; sectors below 16 of a track at 0 are not stored
    std::uint32_t end = 0;    // sectors start .. end - 1 are stored
    container::Storage storage = container::Storage::plain;
    std::uint8_t control = 0x41;  // 0x41 data, 0x01 audio
    // Data tracks: disc sector s is source sector s - start.
    const SectorSource* sectors = nullptr;
    // Audio tracks: the wave file's name beside the container, and the file
    // copied there under that name (none: the caller places it).
    std::string wave_name;
    std::filesystem::path wave_source;
};

inline TrackPlan data_track(std::uint32_t start, std::uint32_t end, container::Storage storage,
                            const SectorSource& sectors) {
    TrackPlan t;
    t.start = start;
    t.end = end;
    t.storage = storage;
    t.sectors = &sectors;
    return t;
}

inline TrackPlan audio_track(std::uint32_t start, std::uint32_t end, std::string wave_name,
                             std::filesystem::path wave_source = {}) {
    TrackPlan t;
    t.start = start;
    t.end = end;
    t.storage = container::Storage::wave;
    t.control = 0x01;
    t.wave_name = std::move(wave_name);
    t.wave_source = std::move(wave_source);
    return t;
}

struct ContainerPlan {
    container::ContainerType type = container::ContainerType::plain;
    std::uint16_t disc_format = container::disc_format::single_data;
    std::string description;
    std::optional<std::uint32_t> block_size;  // default: 37,632 for raw-sector formats, else 32,768

    // Types 0, 1, 6 (sectors 16 on) and 2, 3 (sectors 0 on): disc sector s
    // is source sector s; the disc ends with the source.
    const SectorSource* sectors = nullptr;
    std::uint8_t data_control = 0x41;
    // Types 2 and 3: the 804-byte READ TOC answer; made for one data track when empty.
    std::vector<std::uint8_t> stored_toc;

    // Type 5.
    std::vector<TrackPlan> tracks;
    std::optional<std::uint8_t> first_track;  // default 1
    std::optional<std::uint8_t> last_track;   // default: number of tracks
    std::uint32_t last_track_start = 0;

    // Disc formats 0x70 and 0x71: sectors marked unreadable, and the map
    // length L (default: sum of the data tracks' end sectors / 8 + 1).
    std::vector<std::uint32_t> defective_sectors;
    std::optional<std::uint32_t> defect_map_bytes;

    // Index entries reserved beyond n + 1 in every block index; they keep
    // 0xFFFFFFFF, as in compilation-built containers.
    std::uint32_t spare_index_entries = 0;
};

}  // namespace qpx::container_writer
