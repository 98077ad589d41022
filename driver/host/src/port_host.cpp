#include "port_host.h"

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "qpx/driver/adapter_layout.h"

namespace qpx::host {
namespace {

unsigned worker_threads() { return std::max(4u, std::thread::hardware_concurrency()); }

}  // namespace

std::size_t adapter_count(const HostConfig& config) { return driver::drives_per_adapter(config.drive_count).size(); }

PortHost::PortHost(const HostConfig& config, const std::vector<int>& port_numbers)
    : pool_(worker_threads()), server_(PortDirectory(ports_)) {
    const auto layout = driver::drives_per_adapter(config.drive_count);
    if (port_numbers.size() < layout.size()) throw std::runtime_error("not enough free SCSI port numbers");
    std::uint32_t first_drive = 0;
    for (std::size_t i = 0; i < layout.size(); ++i) {
        driver::AdapterConfig adapter{layout[i], config.buffer_sets};
        ports_.push_back(std::make_unique<PortDispatcher>(port_numbers[i], first_drive, adapter,
                                                          PortDispatcher::Services{pool_, drive_list_, opener_}));
        first_drive += layout[i];
    }
}

PortHost::~PortHost() { stop(); }

void PortHost::start() {
    for (auto& p : ports_) {
        p->start();
        p->check_all_drives();
    }
}

void PortHost::stop() {
    if (stopped_) return;
    stopped_ = true;
    server_.close();
    for (auto& p : ports_) p->stop();
    pool_.drain_and_stop();
    for (auto& p : ports_) p->release_core();
}

}  // namespace qpx::host
