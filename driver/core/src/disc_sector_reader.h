// One disc sector as READ CD sees it: its kind and its 2,352 bytes, whatever
// the container stores. Raw tracks give their stored sectors; cooked tracks
// give their user data, rebuilt into a mode 1 sector when more than the user
// data is wanted; audio tracks give CD-DA samples from their wave files.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <system_error>

#include "cd_sector_layout.h"
#include "qpx/container/block_cache.h"
#include "qpx/container/container.h"
#include "wave_sectors.h"

namespace qpx::driver {

class DiscSectorReader {
public:
    // `container_path` locates the wave files of audio tracks.
    DiscSectorReader(const container::Container& medium, container::BlockCache& cache, std::string container_path);

    // Reads sector `sector` into `out` (2,352 bytes). With `user_data_only`,
    // a cooked sector's user data is placed at its mode 1 position (offset
    // 16) and nothing else is built. Errors: those of the container's reads
    // (not_found, defective_sector, medium_error), and for audio sectors
    // medium_error when the wave file is missing or cannot be served.
    std::error_code read(std::uint32_t sector, bool user_data_only, std::span<std::uint8_t, kCdSectorBytes> out,
                         SectorKind& kind);

private:
    std::error_code read_audio(std::uint32_t sector, std::span<std::uint8_t, kCdSectorBytes> out);

    const container::Container& medium_;
    container::BlockCache& cache_;
    std::string container_path_;
    WaveSectors wave_;
    int wave_node_ = -1;  // the node whose wave file is open
};

}  // namespace qpx::driver
