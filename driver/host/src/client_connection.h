// One client connection: it opens one device (a port or a drive) and sends
// requests one at a time; each is answered before the next is read. While a
// request is with the adapter the connection also watches its socket, so a
// client that goes away is noticed at once (its held requests are dropped,
// its running read is completed and discarded).
#pragma once

#include <optional>

#include "attention_tracker.h"
#include "devices/port_protocol.h"
#include "devices/unique_fd.h"
#include "port_directory.h"

namespace qpx::host {

class ClientConnection {
public:
    ClientConnection(devices::UniqueFd socket, ConnectionId id, PortDirectory ports);
    ClientConnection(const ClientConnection&) = delete;
    ClientConnection& operator=(const ClientConnection&) = delete;

    // Serves the connection until the client or the host closes it.
    void serve();
    // Ends serve() from another thread (host shutdown).
    void shut_down();

private:
    bool handle(std::uint8_t function, devices::protocol::RequestBody& body);
    devices::protocol::Status open(const devices::protocol::OpenRequest& request);
    bool miniport(const devices::protocol::MiniportRequest& request);
    bool pass_through(const devices::protocol::PassThroughRequest& request);
    bool wait_for(const PortJob& job);
    bool reply(const devices::protocol::Reply& reply, int pass_fd = -1);
    bool reply_status(std::uint8_t function, devices::protocol::Status status);

    devices::UniqueFd socket_;
    const ConnectionId id_;
    PortDirectory ports_;
    std::shared_ptr<Waker> waker_;
    PortDispatcher* port_ = nullptr;  // set by open
    std::optional<driver::ScsiAddress> drive_;  // a drive device's address
};

}  // namespace qpx::host
