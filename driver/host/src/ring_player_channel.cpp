#include "ring_player_channel.h"

#include <string>

#include "log.h"
#include "qpx/driver/player_ring.h"

namespace qpx::host {

void RingPlayerChannel::send(const driver::PlayerCommand& command) {
    bool written = false;
    ring_.with_ring([&](std::span<std::uint8_t> bytes, std::size_t& write_offset) {
        written = driver::player_ring::write_record(bytes, write_offset, command);
    });
    if (!written)
        log_warning("port " + std::to_string(port_) + ": a player command for unit " + std::to_string(command.unit) +
                    " does not fit the ring and was dropped");
}

}  // namespace qpx::host
