#include "ring_player_channel.h"

#include <string>

#include "log.h"

namespace qpx::host {

void RingPlayerChannel::send(const driver::PlayerCommand& command) {
    ++sent_;
    log_message(LogLevel::debug, "port " + std::to_string(port_) + ": player command " +
                                     std::to_string(static_cast<std::uint32_t>(command.code)) + " for unit " +
                                     std::to_string(command.unit) + " (ring records are not written yet)");
}

}  // namespace qpx::host
