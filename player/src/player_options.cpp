#include "player_options.h"

namespace qpx::player {

std::optional<PlayerOptions> parse_player_options(const std::vector<std::string>& args, std::string& error) {
    PlayerOptions o;
    o.tray = args.empty();
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                error = a + " needs a value";
                return std::nullopt;
            }
            return args[++i];
        };
        if (a == "--no-tray") continue;
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--device") {
            const auto v = value();
            if (!v) return std::nullopt;
            o.alsa_device = *v;
        } else if (a == "--file-sink") {
            const auto v = value();
            if (!v) return std::nullopt;
            o.file_sink = *v;
        } else {
            error = "unknown argument \"" + a + "\"";
            return std::nullopt;
        }
    }
    return o;
}

}  // namespace qpx::player
