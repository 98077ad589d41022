// The track modes a cue sheet names. libcdio's cue/bin driver reads every
// track file as 2352-byte sectors, so a sheet with tracks stored otherwise
// (MODE1/2048, MODE2/2336, ...) would come back as the wrong bytes; such
// sheets are refused instead.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace qpx::cdrom {

// The first track mode of the sheet that is not stored as 2352-byte
// sectors (AUDIO, MODE1/2352, MODE2/2352), if any.
std::optional<std::string> unreadable_cue_track_mode(const std::filesystem::path& cue);

}  // namespace qpx::cdrom
