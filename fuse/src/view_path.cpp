#include "view_path.h"

namespace qpx::fuse_view {

const char* file_name(ViewFile file) {
    switch (file) {
        case ViewFile::data_iso: return "data.iso";
        case ViewFile::image_cue: return "image.cue";
        case ViewFile::image_bin: return "image.bin";
    }
    return "";
}

std::optional<ViewPath> parse_view_path(std::string_view path) {
    if (path.empty() || path[0] != '/') return std::nullopt;
    path.remove_prefix(1);
    if (path.empty()) return ViewPath{};
    const char letter = path[0];
    if (letter < 'A' || letter > 'Z') return std::nullopt;
    path.remove_prefix(1);
    if (path.empty()) return ViewPath{ViewPath::Kind::drive, letter};
    if (path[0] != '/') return std::nullopt;
    path.remove_prefix(1);
    for (ViewFile f : kViewFiles)
        if (path == file_name(f)) return ViewPath{ViewPath::Kind::file, letter, f};
    return std::nullopt;
}

}  // namespace qpx::fuse_view
