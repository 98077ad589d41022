// Where the view is mounted: the folder named on the command line, else the
// value "FuseMountPoint" (text, an absolute path) of the port host's service
// key in the machine hive.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace qpx::fuse_view {

inline constexpr std::string_view kPortHostServiceKey = "SYSTEM\\CurrentControlSet\\Services\\qpxmport";
inline constexpr std::string_view kMountPointValue = "FuseMountPoint";

// The mount point as an absolute path; empty with a reason in `error` when
// none is given and none is configured.
std::optional<std::filesystem::path> resolve_mount_point(const std::optional<std::filesystem::path>& given,
                                                         std::string& error);

}  // namespace qpx::fuse_view
