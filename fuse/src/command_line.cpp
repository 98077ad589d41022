#include "command_line.h"

namespace qpx::fuse_view {

const char* usage_text() {
    return "usage: qpxfuse [--foreground | --daemon] [--debug] [MOUNT-POINT]\n"
           "Shows each emulated drive as a folder (G, H, ...) holding data.iso, image.cue\n"
           "and image.bin, read-only. Without MOUNT-POINT the value FuseMountPoint of\n"
           "the port host's service key says where.\n";
}

std::optional<Options> parse_command_line(std::span<const std::string> args, std::string& error) {
    Options options;
    bool mode_given = false;
    for (const std::string& arg : args) {
        if (arg == "--daemon" || arg == "--foreground") {
            const bool daemon = arg == "--daemon";
            if (mode_given && options.daemon != daemon) {
                error = "--daemon and --foreground exclude each other";
                return std::nullopt;
            }
            options.daemon = daemon;
            mode_given = true;
        } else if (arg == "--debug") {
            options.debug = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg.empty() || arg.starts_with("-")) {
            error = "unknown option '" + arg + "'";
            return std::nullopt;
        } else if (options.mount_point) {
            error = "more than one mount point given";
            return std::nullopt;
        } else {
            options.mount_point = std::filesystem::path(arg);
        }
    }
    return options;
}

}  // namespace qpx::fuse_view
