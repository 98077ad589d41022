#include "qpx/container/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace qpx::container {

FileHandle::~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

FileHandle open_for_reading(const std::filesystem::path& path, std::error_code& ec) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) ec.assign(errno, std::generic_category());
    return FileHandle(fd);
}

std::size_t pread_full(int fd, std::span<std::uint8_t> out, std::uint64_t offset, std::error_code& ec) {
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::pread(fd, out.data() + done, out.size() - done,
                                  static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            ec.assign(errno, std::generic_category());
            break;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool pwrite_full(int fd, std::span<const std::uint8_t> data, std::uint64_t offset, std::error_code& ec) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::pwrite(fd, data.data() + done, data.size() - done,
                                   static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            ec.assign(errno, std::generic_category());
            return false;
        }
        if (n == 0) {
            ec = std::make_error_code(std::errc::io_error);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::int64_t file_size(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

}  // namespace qpx::container
