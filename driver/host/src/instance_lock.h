// One port host per machine root: an exclusive lock on run/qpxmport.lock,
// held for the life of the process (a crash frees it), and the pid file.
#pragma once

#include <filesystem>
#include <string>

#include "devices/unique_fd.h"

namespace qpx::host {

class InstanceLock {
public:
    // Takes the lock; false with `error` set when another host holds it or
    // the runtime folder cannot be used.
    bool acquire(std::string& error);
    // Writes the pid file (after start-up is complete) and removes it again.
    bool write_pid_file(std::string& error);
    void remove_pid_file();

    static std::filesystem::path lock_path();
    static std::filesystem::path pid_path();

private:
    devices::UniqueFd fd_;
    bool pid_written_ = false;
};

}  // namespace qpx::host
