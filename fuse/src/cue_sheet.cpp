#include "cue_sheet.h"

#include <cstdio>

namespace qpx::fuse_view {
namespace {

std::string two_digits(std::uint32_t n) {
    char text[16];
    std::snprintf(text, sizeof text, "%02u", n);
    return text;
}

std::string track_type(const TrackExtent& t) {
    if (t.audio) return "AUDIO";
    return t.data_mode == 2 ? "MODE2/2352" : "MODE1/2352";
}

}  // namespace

std::string cue_time(std::uint32_t sector) {
    const std::uint32_t minutes = sector / (60 * 75);
    const std::uint32_t seconds = sector / 75 % 60;
    const std::uint32_t frames = sector % 75;
    return two_digits(minutes) + ":" + two_digits(seconds) + ":" + two_digits(frames);
}

std::string cue_sheet(const DiscLayout& layout, std::string_view bin_name) {
    std::string text = "FILE \"" + std::string(bin_name) + "\" BINARY\n";
    for (const auto& t : layout.tracks) {
        text += "  TRACK " + two_digits(t.number) + " " + track_type(t) + "\n";
        text += "    INDEX 01 " + cue_time(t.start) + "\n";
    }
    return text;
}

}  // namespace qpx::fuse_view
