#include "support/cd_info.h"

#include <regex>
#include <sstream>
#include <stdexcept>

#include "support/temp_dir.h"

namespace qpx::testing {

std::vector<CdInfoTrack> cd_info_tracks(const std::filesystem::path& image) {
    std::string out;
    const std::string command = "cd-info --no-cddb --no-device-info --no-disc-mode --no-analyze --no-header "
                                "--no-ioctl --quiet '" + image.string() + "' 2>&1";
    if (run_command(command, &out) != 0) throw std::runtime_error("cd-info failed: " + out);
    // "  2: 00:05:00  000225 audio  false  no    2        no"
    static const std::regex line(R"(^\s*(\d+): \d\d:\d\d:\d\d\s+(\d+) (\w+))");
    std::vector<CdInfoTrack> tracks;
    std::istringstream lines(out);
    bool lead_out = false;
    for (std::string text; std::getline(lines, text);) {
        std::smatch m;
        if (!std::regex_search(text, m, line)) continue;
        tracks.push_back({std::stoi(m[1]), static_cast<std::uint32_t>(std::stoul(m[2])), m[3]});
        lead_out = lead_out || tracks.back().type == "leadout";
    }
    if (!lead_out) throw std::runtime_error("cd-info listed no lead-out: " + out);
    return tracks;
}

std::string cd_info_toc_text(const std::filesystem::path& image) {
    std::string text;
    for (const CdInfoTrack& t : cd_info_tracks(image)) text += (text.empty() ? "" : " ") + std::to_string(t.lsn);
    return text;
}

}  // namespace qpx::testing
