#include "instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "machine/machine_root.h"

namespace qpx::host {

std::filesystem::path InstanceLock::lock_path() { return machine::run_dir() / "qpxmport.lock"; }
std::filesystem::path InstanceLock::pid_path() { return machine::run_dir() / "qpxmport.pid"; }

bool InstanceLock::acquire(std::string& error) {
    std::filesystem::path path;
    try {
        path = lock_path();
    } catch (const std::exception& e) {
        error = std::string("the runtime folder cannot be made: ") + e.what();
        return false;
    }
    fd_.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd_.valid()) {
        error = "cannot open " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    if (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0) {
        std::string other;
        std::ifstream(pid_path()) >> other;
        error = "another qpxmport already serves this machine root" + (other.empty() ? "" : " (pid " + other + ")");
        fd_.reset();
        return false;
    }
    return true;
}

bool InstanceLock::write_pid_file(std::string& error) {
    const auto path = pid_path();
    const auto temp = path.string() + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << ::getpid() << '\n';
        if (!out) {
            error = "cannot write " + temp;
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        error = "cannot write " + path.string() + ": " + ec.message();
        return false;
    }
    pid_written_ = true;
    return true;
}

void InstanceLock::remove_pid_file() {
    if (!pid_written_) return;
    std::error_code ec;
    std::filesystem::remove(pid_path(), ec);
    pid_written_ = false;
}

}  // namespace qpx::host
