// The port host put together: one adapter (a SCSI port) per 448 drives,
// each with its serialising thread, a worker pool shared by all, and the
// socket the clients come through.
#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include "host_config.h"
#include "port_dispatcher.h"
#include "port_server.h"
#include "qpx/driver/file_container_opener.h"
#include "qpx/driver/registry_drive_list.h"
#include "worker_pool.h"

namespace qpx::host {

class PortHost {
public:
    // `port_numbers`: one per adapter. Throws when an adapter cannot be made.
    PortHost(const HostConfig& config, const std::vector<int>& port_numbers);
    ~PortHost();
    PortHost(const PortHost&) = delete;
    PortHost& operator=(const PortHost&) = delete;

    const std::vector<std::unique_ptr<PortDispatcher>>& ports() const { return ports_; }

    void listen(const std::filesystem::path& socket_path) { server_.listen(socket_path); }
    // Starts the serialising threads and the drives' first readiness checks.
    void start();
    // Serves clients until `stop_fd` becomes readable.
    void serve(int stop_fd) { server_.serve(stop_fd); }
    // Ends the connections, the serialising threads and the work items, in
    // that order, and gives every request back.
    void stop();

private:
    driver::RegistryDriveList drive_list_;
    driver::FileContainerOpener opener_;
    WorkerPool pool_;
    std::vector<std::unique_ptr<PortDispatcher>> ports_;
    PortServer server_;
    bool stopped_ = false;
};

// Number of adapters `config` needs.
std::size_t adapter_count(const HostConfig& config);

}  // namespace qpx::host
