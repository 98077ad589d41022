// Free space for a CD copy: the bytes the calling user may still write on
// the volume that holds a path.
#include <sys/statvfs.h>

#include <filesystem>
#include <system_error>

#include "qpxdrv.h"

namespace {

// The path itself when it exists, else its nearest existing ancestor: a
// container that is yet to be written lands on the volume of its folder.
bool volume_statistics(const std::filesystem::path& path, struct statvfs& out) {
    std::error_code ec;
    std::filesystem::path candidate = std::filesystem::absolute(path, ec);
    if (ec) return false;
    while (true) {
        if (::statvfs(candidate.c_str(), &out) == 0) return true;
        if (!candidate.has_relative_path()) return false;
        candidate = candidate.parent_path();
    }
}

}  // namespace

extern "C" int64_t QPXGetFreeDiskSpace(const char* path) {
    if (!path || !*path) return 0;
    struct statvfs stats {};
    if (!volume_statistics(path, stats)) return 0;
    // Blocks available to unprivileged users: the space a copy can really use.
    return static_cast<int64_t>(static_cast<uint64_t>(stats.f_bavail) * stats.f_frsize);
}
