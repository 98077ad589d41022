#include "cdrom/cue_track_modes.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace qpx::cdrom {

std::optional<std::string> unreadable_cue_track_mode(const std::filesystem::path& cue) {
    std::ifstream in(cue);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string keyword, number, mode;
        words >> keyword >> number >> mode;
        std::transform(keyword.begin(), keyword.end(), keyword.begin(), ::toupper);
        if (keyword != "TRACK") continue;
        std::transform(mode.begin(), mode.end(), mode.begin(), ::toupper);
        if (mode != "AUDIO" && mode != "MODE1/2352" && mode != "MODE2/2352") return mode;
    }
    return std::nullopt;
}

}  // namespace qpx::cdrom
