// The iSCSI target on a TCP port: one thread accepts connections, each
// connection has its own thread reading its PDUs. Commands run on the drives
// through the CommandRunner, one at a time per drive.
#pragma once

#include <cstdint>
#include <memory>

#include "qpx/iscsi/command_runner.h"
#include "qpx/iscsi/target_config.h"

namespace qpx::iscsi {

class TargetService;

class Listener {
public:
    // The runner must outlive the listener.
    Listener(TargetConfig config, CommandRunner& runner);
    ~Listener();  // stops
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // Binds and listens; throws std::runtime_error (with the reason) when the
    // configuration is refused or the address cannot be bound.
    void start();
    // Closes the port and every connection, waits for their commands to end.
    void stop();

    // The port listened on (the chosen one when the configuration said 0).
    std::uint16_t port() const;

private:
    std::unique_ptr<TargetService> service_;
};

}  // namespace qpx::iscsi
