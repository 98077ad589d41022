// The player's command line. Without arguments the player shows its tray
// icon; with any argument it runs without one.
//
//   qpxplayer [--no-tray] [--device NAME | --file-sink FILE]
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qpx::player {

struct PlayerOptions {
    bool tray = true;
    std::string alsa_device = "default";
    std::optional<std::string> file_sink;  // raw 16-bit stereo samples, played at the real pace
    bool help = false;
};

// Nothing, with `error` set, for an unknown option or a missing value.
std::optional<PlayerOptions> parse_player_options(const std::vector<std::string>& args, std::string& error);

inline constexpr const char* kPlayerUsage =
    "usage: qpxplayer [--no-tray] [--device NAME | --file-sink FILE]\n"
    "  Plays the audio tracks that programs play on the emulated CD-ROM drives.\n"
    "  --no-tray         run without the tray icon (any argument does)\n"
    "  --device NAME     ALSA output device (default: \"default\")\n"
    "  --file-sink FILE  append the sound to FILE as raw 16-bit stereo at 44,100 Hz instead\n";

}  // namespace qpx::player
