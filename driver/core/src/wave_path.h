// Where the wave file of an audio track lives: beside its container.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "qpx/container/track_node.h"

namespace qpx::driver {

// The container's folder (its path cut after the last "/") followed by the
// node's file name. Nothing for a node that is not a wave track, a name that
// is not a bare file name ("/", "..", empty), or a path longer than a play
// record holds.
std::optional<std::string> wave_path_of(std::string_view container_path, const container::TrackNode& node);

}  // namespace qpx::driver
