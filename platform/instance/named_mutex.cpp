#include "instance/named_mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <thread>

#include "machine/machine_root.h"

namespace qpx::instance {
namespace {

constexpr std::chrono::milliseconds kPollInterval{20};

bool valid_name(std::string_view name) {
    if (name.empty() || name.size() > 100) return false;
    for (char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.')) return false;
    return name.front() != '.';
}

}  // namespace

std::unique_ptr<NamedMutex> NamedMutex::acquire(std::string_view name, std::chrono::milliseconds timeout,
                                                std::string* error, const Sleep& sleep) {
    if (!valid_name(name)) {
        if (error) *error = "invalid mutex name";
        return nullptr;
    }
    std::string path;
    try {
        path = (machine::run_dir() / (std::string(name) + ".lock")).string();
    } catch (const std::exception& e) {
        if (error) *error = e.what();
        return nullptr;
    }
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (error) *error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    auto waited = std::chrono::milliseconds{0};
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) return std::unique_ptr<NamedMutex>(new NamedMutex(fd));
        if (errno != EWOULDBLOCK && errno != EINTR) {
            if (error) *error = path + ": " + std::strerror(errno);
            break;
        }
        if (waited >= timeout) {
            if (error) *error = "held by another process";
            break;
        }
        auto step = std::min(kPollInterval, timeout - waited);
        if (sleep)
            sleep(step);
        else
            std::this_thread::sleep_for(step);
        waited += step;
    }
    close(fd);
    return nullptr;
}

NamedMutex::~NamedMutex() {
    flock(fd_, LOCK_UN);
    close(fd_);
}

}  // namespace qpx::instance
