// Everything an adapter holds: its services, its units, the buffer pool and
// the play state its drives share.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "buffer_pool.h"
#include "qpx/driver/adapter.h"
#include "qpx/driver/services.h"
#include "unit.h"

namespace qpx::driver {

// What the drives of an adapter play; a PLAY AUDIO MSF on any drive replaces it.
struct PlayState {
    std::uint32_t played_frames = 0;  // frames into the current track, as last reported by the player
    std::uint8_t current_track = 0;
    std::uint8_t end_track = 0;
    std::uint32_t start_msf = 0;  // packed MSF
    std::uint32_t end_msf = 0;
};

class AdapterState {
public:
    AdapterState(const AdapterConfig& config, const AdapterServices& services);

    // The unit with this number, or none beyond the configured units.
    Unit* unit(std::uint32_t number) {
        return number < units.size() ? units[number].get() : nullptr;
    }

    AdapterServices services;
    std::uint32_t drive_count;
    std::vector<std::unique_ptr<Unit>> units;  // 8 controller units, then the drives
    BufferPool pool;
    PlayState play;
};

}  // namespace qpx::driver
