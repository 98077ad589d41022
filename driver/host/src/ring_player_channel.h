// The drives' commands for the audio player, bound for the adapter's ring.
// Writing the command records into the ring is not part of this host yet:
// commands are logged and counted, the ring itself is real and mapped by
// the player through the map player ring control code.
#pragma once

#include <atomic>
#include <cstdint>

#include "player_ring.h"
#include "qpx/driver/services.h"

namespace qpx::host {

class RingPlayerChannel final : public driver::PlayerChannel {
public:
    RingPlayerChannel(PlayerRing& ring, int port) : ring_(ring), port_(port) {}
    void send(const driver::PlayerCommand& command) override;
    PlayerRing& ring() { return ring_; }
    std::uint64_t commands_sent() const { return sent_.load(); }

private:
    PlayerRing& ring_;
    const int port_;
    std::atomic<std::uint64_t> sent_{0};
};

}  // namespace qpx::host
