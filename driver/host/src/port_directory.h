// The ports this host serves, found by their port number.
#pragma once

#include <memory>
#include <vector>

#include "port_dispatcher.h"

namespace qpx::host {

class PortDirectory {
public:
    explicit PortDirectory(const std::vector<std::unique_ptr<PortDispatcher>>& ports) : ports_(ports) {}
    PortDispatcher* find(int port) const {
        for (const auto& p : ports_)
            if (p->port() == port) return p.get();
        return nullptr;
    }

private:
    const std::vector<std::unique_ptr<PortDispatcher>>& ports_;
};

}  // namespace qpx::host
