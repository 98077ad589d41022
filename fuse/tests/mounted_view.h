// The view as a user meets it: a real port host on the test's private
// machine root and qpxfuse mounted over it, unmounted and stopped again
// whatever the test did.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "port_host_process.h"
#include "support/temp_dir.h"

namespace qpx::testing {

// Empty when FUSE mounts can work here, else why not.
std::string fuse_unavailable_reason();

// Whether `dir` is a mount point of this machine now.
bool is_mounted(const std::filesystem::path& dir);

// Waits (bounded) until `dir` is mounted or, with want=false, no longer is.
bool wait_mounted(const std::filesystem::path& dir, bool want = true,
                  std::chrono::milliseconds limit = std::chrono::seconds(10));

// fusermount3 -u, when `dir` is mounted.
void unmount(const std::filesystem::path& dir);

// A container made by qpx-mkcontainer of `iso` with `type`; throws on failure.
std::filesystem::path make_container(const std::filesystem::path& iso, const std::filesystem::path& container,
                                     int type = 0);

// The whole file; throws when it cannot be read.
std::vector<std::uint8_t> file_bytes(const std::filesystem::path& file);

// qpxfuse in the foreground, started with `args`; its standard error goes to a log.
class ViewProcess {
public:
    explicit ViewProcess(std::vector<std::string> args);
    ~ViewProcess() { stop(); }
    ViewProcess(const ViewProcess&) = delete;
    ViewProcess& operator=(const ViewProcess&) = delete;

    // SIGTERM, a bounded wait, then SIGKILL. The exit status when it ended by itself.
    std::optional<int> stop();
    // Its exit status once it has ended, within a bounded wait.
    std::optional<int> wait_exit(std::chrono::milliseconds limit = std::chrono::seconds(10));
    bool running();
    std::string log() const;

private:
    bool reap(bool block);
    pid_t pid_ = -1;
    std::optional<int> status_;
    std::filesystem::path log_;
};

class MountedView {
public:
    // `drives` emulated drives, the view at root/view (given on the command line).
    explicit MountedView(std::uint32_t drives = 1);
    ~MountedView();

    // Whether everything came up; the reason when not.
    bool ready() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    const std::filesystem::path& mount_point() const { return mount_point_; }
    char letter(int drive) const { return letters_.at(static_cast<std::size_t>(drive)); }
    std::filesystem::path file(int drive, const std::string& name) const {
        return mount_point_ / std::string(1, letter(drive)) / name;
    }

    PortHostProcess& host() { return *host_; }
    void restart_host();
    ViewProcess& view() { return *view_; }
    std::string logs() const;

private:
    ScopedMachineRoot root_;
    std::filesystem::path mount_point_;
    std::unique_ptr<PortHostProcess> host_;
    std::unique_ptr<ViewProcess> view_;
    std::string letters_;
    std::string error_;
};

}  // namespace qpx::testing
