// The names of the view: the root, one folder per drive letter ("G"), and
// in it the files made from the disc.
#pragma once

#include <optional>
#include <string_view>

namespace qpx::fuse_view {

enum class ViewFile { data_iso, image_cue, image_bin };

inline constexpr ViewFile kViewFiles[] = {ViewFile::data_iso, ViewFile::image_cue, ViewFile::image_bin};

const char* file_name(ViewFile file);

struct ViewPath {
    enum class Kind { root, drive, file };
    Kind kind = Kind::root;
    char letter = 0;  // drive and file
    ViewFile file = ViewFile::data_iso;
};

// "/", "/G", "/G/data.iso"; empty for any other name.
std::optional<ViewPath> parse_view_path(std::string_view path);

}  // namespace qpx::fuse_view
