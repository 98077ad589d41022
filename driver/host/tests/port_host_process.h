// Starts the real qpxmport on the test's private machine root and always
// stops it again. Header-only: the library's tests use it as well.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "machine/machine_root.h"
#include "registry/registry.h"
#include "support/temp_dir.h"

namespace qpx::testing {

inline constexpr const char* kPortHostServiceKey = "SYSTEM\\CurrentControlSet\\Services\\qpxmport";

// Writes the port host's service values (the library writes the count as "NumberOfCDROMs").
inline void configure_port_host(std::uint32_t drives, std::optional<std::uint32_t> buffer_sets = std::nullopt,
                                std::optional<std::string> first_letter = std::nullopt) {
    reg::Key key;
    if (reg::Key::create(reg::Hive::LocalMachine, kPortHostServiceKey, key) != reg::kSuccess ||
        key.set_dword("NumberOfCDROMs", drives) != reg::kSuccess ||
        (buffer_sets && key.set_dword("SizeofBufPool", *buffer_sets) != reg::kSuccess) ||
        (first_letter && key.set_string("FirstDriveLetter", *first_letter) != reg::kSuccess))
        throw std::runtime_error("cannot write the port host's configuration");
}

class PortHostProcess {
public:
    static constexpr auto kTimeout = std::chrono::seconds(20);

    // Starts qpxmport (foreground, standard error into a log file of the root).
    explicit PortHostProcess(std::vector<std::string> args = {}) {
        const std::filesystem::path program = program_path("qpxmport");
        log_path_ = machine::root() / ("qpxmport-" + std::to_string(++counter()) + ".log");
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            // A test process that dies takes its host along.
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            const int log = ::open(log_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (log >= 0) ::dup2(log, STDERR_FILENO);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
    }
    ~PortHostProcess() { stop(); }
    PortHostProcess(const PortHostProcess&) = delete;
    PortHostProcess& operator=(const PortHostProcess&) = delete;

    pid_t pid() const { return pid_; }

    // Waits until the host has published everything (its pid file appears)
    // or has ended; true when it is serving.
    bool wait_ready() {
        const auto pid_file = machine::run_dir() / "qpxmport.pid";
        const auto until = std::chrono::steady_clock::now() + kTimeout;
        while (std::chrono::steady_clock::now() < until) {
            if (reap(false)) return false;
            std::ifstream in(pid_file);
            pid_t written = 0;
            if (in >> written && written == pid_) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    // Waits (bounded) for the process to end by itself; its exit status, or
    // empty when it did not end in time or was killed by a signal.
    std::optional<int> wait_exit() {
        const auto until = std::chrono::steady_clock::now() + kTimeout;
        while (std::chrono::steady_clock::now() < until) {
            if (reap(false)) return exit_status_;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return std::nullopt;
    }

    // SIGTERM, then a bounded wait; SIGKILL if it does not end. The exit
    // status, or empty when it had to be killed or died of a signal.
    std::optional<int> stop() {
        if (pid_ <= 0) return exit_status_;
        if (!reap(false)) {
            ::kill(pid_, SIGTERM);
            if (!wait_exit()) {
                ::kill(pid_, SIGKILL);
                reap(true);
                killed_ = true;
            }
        }
        return exit_status_;
    }
    bool had_to_be_killed() const { return killed_; }

    std::string log() const {
        std::ifstream in(log_path_);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

private:
    static int& counter() {
        static int n = 0;
        return n;
    }
    // True once the child has ended (and records how).
    bool reap(bool block) {
        if (pid_ <= 0) return true;
        int status = 0;
        const pid_t r = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
        if (r != pid_) return false;
        exit_status_ = WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
        pid_ = -1;
        return true;
    }

    std::filesystem::path log_path_;
    pid_t pid_ = -1;
    std::optional<int> exit_status_;
    bool killed_ = false;
};

}  // namespace qpx::testing
