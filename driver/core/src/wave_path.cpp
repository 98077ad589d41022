#include "wave_path.h"

#include "qpx/driver/services.h"

namespace qpx::driver {

std::optional<std::string> wave_path_of(std::string_view container_path, const container::TrackNode& node) {
    if (node.storage_kind() != container::Storage::wave) return std::nullopt;
    const auto name = node.safe_wave_file_name();
    if (!name) return std::nullopt;
    const std::size_t slash = container_path.rfind('/');
    std::string path(slash == std::string_view::npos ? std::string_view{} : container_path.substr(0, slash + 1));
    path += *name;
    if (path.size() > kMaxWavePathBytes) return std::nullopt;
    return path;
}

}  // namespace qpx::driver
