// Named mutexes shared by the programs of one machine (for example the one
// that keeps a second writer from starting): a lock on a file in the
// machine's runtime folder, opened close-on-exec, so a crashed holder frees
// it at once.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace qpx::instance {

class NamedMutex {
public:
    // How the wait passes time; tests hand in their own.
    using Sleep = std::function<void(std::chrono::milliseconds)>;

    // Takes the mutex, waiting up to `timeout` while another process holds
    // it. Null when it stayed taken, or when the lock file cannot be made
    // (`*error` then tells why).
    static std::unique_ptr<NamedMutex> acquire(std::string_view name, std::chrono::milliseconds timeout,
                                               std::string* error = nullptr, const Sleep& sleep = {});
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

private:
    explicit NamedMutex(int fd) : fd_(fd) {}
    int fd_;
};

}  // namespace qpx::instance
