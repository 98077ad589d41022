// One request of a client on its way through the port host: built by the
// client's connection, started and completed by the adapter's serialising
// context, answered by the connection. Shared between both until done; a
// request whose client went away stays alive until the adapter gives it back.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "attention_tracker.h"
#include "devices/port_protocol.h"
#include "devices/unique_fd.h"
#include "qpx/driver/scsi_request.h"

namespace qpx::host {

// Wakes a connection that waits for its request (an eventfd it can poll
// together with its socket).
class Waker {
public:
    Waker();
    void signal();
    void clear();
    int fd() const { return fd_.get(); }

private:
    devices::UniqueFd fd_;
};

struct PortJob {
    enum class Kind { scsi, control };

    Kind kind = Kind::scsi;
    ConnectionId connection = 0;  // 0: a request of the host itself

    // SCSI requests.
    driver::ScsiRequest request;
    std::vector<std::uint8_t> data;   // the request's data buffer
    // The request's sense buffer: what the client asked for, and never less
    // than a full fixed-format sense block, so the host always sees what
    // the drive reported (a medium change above all).
    std::vector<std::uint8_t> sense;
    std::size_t sense_wanted = 0;
    devices::protocol::Direction direction = devices::protocol::Direction::none;
    std::uint32_t timeout_seconds = 0;
    std::chrono::steady_clock::time_point deadline{};
    bool abort_sent = false;

    // Control requests: the buffer the control code works in (input, then
    // room up to the output length) and the ring handed to the client.
    std::vector<std::uint8_t> control;
    std::size_t input_length = 0;
    std::size_t output_length = 0;
    devices::UniqueFd ring_fd;

    // The answer.
    driver::SrbStatus status = driver::SrbStatus::pending;
    devices::protocol::Status wire_status = devices::protocol::Status::ok;

    std::shared_ptr<Waker> waker;

    void finish();
    bool done() const { return done_.load(std::memory_order_acquire); }

private:
    std::atomic<bool> done_{false};
};

// A pass-through request for `address` (the connection's drive, or the
// address the request names on a port device).
std::shared_ptr<PortJob> make_scsi_job(ConnectionId connection, const devices::protocol::PassThroughRequest& wire,
                                       const driver::ScsiAddress& address);
std::shared_ptr<PortJob> make_control_job(ConnectionId connection, const devices::protocol::MiniportRequest& wire);

}  // namespace qpx::host
