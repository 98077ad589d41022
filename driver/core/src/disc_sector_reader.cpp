#include "disc_sector_reader.h"

#include <algorithm>
#include <optional>

#include "mode1_sector.h"
#include "qpx/container/errors.h"
#include "qpx/container/format.h"

namespace qpx::driver {
namespace {

using container::Errc;

// The wave file beside the container. Unlike a play record's path, a path
// read here has no length limit.
std::optional<std::string> wave_file_of(const std::string& container_path, const container::TrackNode& node) {
    const auto name = node.safe_wave_file_name();
    if (!name) return std::nullopt;
    const std::size_t slash = container_path.rfind('/');
    return (slash == std::string::npos ? std::string() : container_path.substr(0, slash + 1)) + *name;
}

}  // namespace

DiscSectorReader::DiscSectorReader(const container::Container& medium, container::BlockCache& cache,
                                   std::string container_path)
    : medium_(medium), cache_(cache), container_path_(std::move(container_path)) {}

std::error_code DiscSectorReader::read(std::uint32_t sector, bool user_data_only,
                                       std::span<std::uint8_t, kCdSectorBytes> out, SectorKind& kind) {
    if (medium_.defect_map().is_marked(sector)) return Errc::defective_sector;
    container::SectorLocation where;
    const std::error_code located = medium_.locate(sector, where);
    if (located == Errc::wrong_track_mode) {
        kind = SectorKind::audio;
        return read_audio(sector, out);
    }
    if (located) return located;

    if (where.kind != container::AreaKind::zeros && where.stride == container::kRawSectorSize) {
        if (const std::error_code ec = medium_.read_raw_sector(sector, out, cache_)) return ec;
        kind = kind_of_raw_data_sector(out);
        return {};
    }
    kind = SectorKind::mode1;
    std::array<std::uint8_t, container::kUserSectorSize> user{};
    if (const std::error_code ec = medium_.read_sector(sector, user, cache_)) return ec;
    if (user_data_only)
        std::copy(user.begin(), user.end(), out.begin() + kMode1DataAt);
    else
        build_mode1_sector(sector, user, out);
    return {};
}

std::error_code DiscSectorReader::read_audio(std::uint32_t sector, std::span<std::uint8_t, kCdSectorBytes> out) {
    const container::TrackTable& nodes = medium_.track_nodes();
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const container::TrackNode& node = nodes[i];
        if (node.is_unused() || node.storage_kind() != container::Storage::wave) continue;
        if (sector < node.start || sector >= node.end) continue;
        if (wave_node_ != static_cast<int>(i)) {
            wave_node_ = -1;
            const auto path = wave_file_of(container_path_, node);
            if (!path || wave_.open(*path)) return Errc::medium_error;
            wave_node_ = static_cast<int>(i);
        }
        const std::error_code ec = wave_.read_sector(sector - node.start, out);
        return ec ? std::error_code(Errc::medium_error) : std::error_code{};
    }
    return Errc::not_found;
}

}  // namespace qpx::driver
