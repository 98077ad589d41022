#include "mount_config.h"

#include "registry/registry.h"

namespace qpx::fuse_view {
namespace {

std::optional<std::filesystem::path> configured_mount_point(std::string& error) {
    const std::string where = "value " + std::string(kMountPointValue) + " of HKLM\\" + std::string(kPortHostServiceKey);
    reg::Key key;
    std::string text;
    const reg::Status opened = reg::Key::open(reg::Hive::LocalMachine, kPortHostServiceKey, reg::Access::Read, key);
    const reg::Status read = opened == reg::kSuccess ? key.query_string(kMountPointValue, text) : opened;
    if (read == reg::kFileNotFound || (read == reg::kSuccess && text.empty())) {
        error = "no mount point given and none configured (" + where + ")";
        return std::nullopt;
    }
    if (read != reg::kSuccess) {
        error = "the " + where + " cannot be read (status " + std::to_string(read) + ")";
        return std::nullopt;
    }
    std::filesystem::path path(text);
    if (!path.is_absolute()) {
        error = "the " + where + " is not an absolute path: " + text;
        return std::nullopt;
    }
    return path;
}

}  // namespace

std::optional<std::filesystem::path> resolve_mount_point(const std::optional<std::filesystem::path>& given,
                                                         std::string& error) {
    if (!given) return configured_mount_point(error);
    std::error_code ec;
    auto absolute = std::filesystem::absolute(*given, ec);
    if (ec) {
        error = "the mount point " + given->string() + " cannot be resolved: " + ec.message();
        return std::nullopt;
    }
    return absolute;
}

}  // namespace qpx::fuse_view
