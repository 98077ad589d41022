// One emulated adapter: eight controller units on bus 0 and up to 448 CD-ROM
// drives, each serving the container named by its entry of the drive list.
//
// Threads: every member function is called from the host's serialised
// context (one thread, or calls that never overlap). Work items queued on the
// WorkExecutor run elsewhere; when a read finishes the core raises
// CompletionSignal::read_finished, and the host then calls
// complete_finished() from its serialised context to hand the finished
// requests back. The host sends at most one request at a time per unit and
// keeps every pending request alive until it is completed. Before the
// adapter is destroyed every queued work item must have run; a finished read
// touches only the CompletionSignal after marking itself done, so the signal
// must outlive the worker threads.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "qpx/driver/adapter_layout.h"
#include "qpx/driver/scsi_request.h"
#include "qpx/driver/services.h"

namespace qpx::driver {

struct AdapterConfig {
    std::uint32_t drive_count = 1;  // 1 .. 448
    // The configured number of buffer sets shared by the drives (values
    // outside 1..100 mean 10); never more sets than drives are made.
    std::uint32_t buffer_sets = kDefaultBufferSets;
};

// Control codes of the miniport control channel.
namespace control_code {
inline constexpr std::uint32_t update_drive = 0x1B0506;
inline constexpr std::uint32_t hold_request = 0x1B0507;
inline constexpr std::uint32_t release_held = 0x1B0509;
inline constexpr std::uint32_t map_player_ring = 0x1B050A;
}  // namespace control_code

// Layout of a control buffer: a 28-byte header followed by the data.
inline constexpr std::size_t kControlHeaderSize = 28;
inline constexpr std::size_t kControlCodeOffset = 16;

class AdapterState;

class Adapter {
public:
    // Throws std::invalid_argument for a drive count outside 1..448.
    Adapter(const AdapterConfig& config, const AdapterServices& services);
    ~Adapter();
    Adapter(const Adapter&) = delete;
    Adapter& operator=(const Adapter&) = delete;

    std::uint32_t drive_count() const;
    std::uint32_t bus_count() const;
    std::uint32_t buffer_set_count() const;

    // Execute SCSI: answers the command of `request`. A result other than
    // pending is the request's final status (also stored in request.status);
    // pending means the request is served by a work item and comes back
    // through complete_finished().
    SrbStatus execute_scsi(ScsiRequest& request);

    // I/O control with a control buffer (28-byte header, then data). The core
    // serves the update-drive code; the hold, release and map-ring codes
    // belong to the host, which handles them before calling here. Any other
    // code, or a buffer too short for its header, is an invalid request.
    SrbStatus control(std::span<std::uint8_t> buffer);

    // Update drive: marks the drive at bus/target for reopening from the drive
    // list at its next readiness check. Selection time-out beyond the drives.
    SrbStatus update_drive(std::uint8_t bus, std::uint8_t target);

    // Abort command: the read running on the unit ends with ABORTED COMMAND.
    // Abort failed when no read is running; selection time-out beyond the units.
    SrbStatus abort_command(const ScsiAddress& address);

    // Bus reset: every running read ends with ABORTED COMMAND. Success.
    SrbStatus reset_bus();

    // Hands every request whose read has finished to `complete` (its status,
    // SCSI status, sense and transferred length filled in) and frees the
    // unit for its next request. Returns the number of requests completed.
    std::size_t complete_finished(const std::function<void(ScsiRequest&)>& complete);

private:
    std::unique_ptr<AdapterState> state_;
};

}  // namespace qpx::driver
