// The player's side of the channel to the port host: the mapped ring it
// polls, and the messages it sends back.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "devices/device.h"

namespace qpx::player {

// Reports to the port host. Implementations are called from the play and
// main threads.
class DriverLink {
public:
    virtual ~DriverLink() = default;
    // False when the message did not reach the port or was refused.
    virtual bool report_position(std::uint32_t unit, std::uint32_t frames) = 0;
    virtual bool report_shutdown() = 0;
};

// A ring mapped into this process, kept mapped by `owner`. `alive`, when
// given, tells whether the port host that handed it over still runs: a
// restarted port host has a new ring.
struct MappedRing {
    std::span<std::uint8_t> bytes;
    std::shared_ptr<void> owner;
    std::function<bool()> alive;
};

// The port host's SCSI port: found as the first port of the port map whose
// driver is "qpxmport", reached through its port device.
class PortLink final : public DriverLink {
public:
    // The number of the port host's port, if one is published.
    static std::optional<int> find_port();

    // Sends the map player ring control request; the ring when the answer
    // holds a non-zero address and the ring carries the signature.
    static std::optional<MappedRing> map_ring(std::string& why);

    bool report_position(std::uint32_t unit, std::uint32_t frames) override;
    bool report_shutdown() override;

private:
    bool send(std::uint8_t target, std::vector<std::uint8_t> message);

    std::mutex mutex_;
    devices::Device device_;
};

}  // namespace qpx::player
