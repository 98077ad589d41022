// The drives' commands for the audio player: each becomes a command record
// at the adapter ring's write offset, which then moves to the next slot.
#pragma once

#include <cstdint>

#include "player_ring.h"
#include "qpx/driver/services.h"

namespace qpx::host {

class RingPlayerChannel final : public driver::PlayerChannel {
public:
    RingPlayerChannel(PlayerRing& ring, int port) : ring_(ring), port_(port) {}
    void send(const driver::PlayerCommand& command) override;
    PlayerRing& ring() { return ring_; }

private:
    PlayerRing& ring_;
    const int port_;
};

}  // namespace qpx::host
