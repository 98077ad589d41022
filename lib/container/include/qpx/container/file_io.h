// Owned file descriptors and complete positional reads and writes with 64-bit
// offsets.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <system_error>

namespace qpx::container {

class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle();
    FileHandle(FileHandle&& other) noexcept : fd_(other.release()) {}
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    int get() const { return fd_; }
    bool is_open() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_ = -1;
};

// Opens for reading (close-on-exec). On failure `ec` holds the errno value.
FileHandle open_for_reading(const std::filesystem::path& path, std::error_code& ec);

// Reads until `out` is full, end of file or an error. Returns the bytes read;
// `ec` is set only for an error (a short count alone means end of file).
std::size_t pread_full(int fd, std::span<std::uint8_t> out, std::uint64_t offset, std::error_code& ec);

// Writes all of `data` at `offset`; false (with `ec`) when it could not.
bool pwrite_full(int fd, std::span<const std::uint8_t> data, std::uint64_t offset, std::error_code& ec);

// Size of an open file, or -1.
std::int64_t file_size(int fd);

}  // namespace qpx::container
