// The host's Unix-domain socket: accepts clients and gives each connection
// a thread of its own until the host stops.
#pragma once

#include <atomic>
#include <filesystem>
#include <list>
#include <memory>
#include <thread>

#include "client_connection.h"
#include "devices/unique_fd.h"
#include "port_directory.h"

namespace qpx::host {

class PortServer {
public:
    // More clients than this at once are turned away.
    static constexpr std::size_t kMaxConnections = 1024;

    explicit PortServer(PortDirectory ports) : ports_(ports) {}
    ~PortServer();
    PortServer(const PortServer&) = delete;
    PortServer& operator=(const PortServer&) = delete;

    // Binds and listens at `path` (replacing a socket file left behind);
    // the socket is the owner's only. Throws std::system_error on failure.
    void listen(const std::filesystem::path& path);
    // Accepts clients until `stop_fd` becomes readable.
    void serve(int stop_fd);
    // Stops accepting, removes the socket file, ends every connection and
    // waits for their threads.
    void close();

private:
    struct Client {
        std::shared_ptr<ClientConnection> connection;
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };
    void reap_finished();

    PortDirectory ports_;
    devices::UniqueFd listener_;
    std::filesystem::path path_;
    std::list<Client> clients_;
    ConnectionId next_id_ = 1;
};

}  // namespace qpx::host
