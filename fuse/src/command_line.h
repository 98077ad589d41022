// The command line of qpxfuse:
//
//   qpxfuse [--foreground | --daemon] [--debug] [MOUNT-POINT]
//
// Without a mount point the view goes where the machine's configuration
// says. The program runs in the foreground unless --daemon is given; with
// --daemon it returns once the view is mounted and serves it in the background.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace qpx::fuse_view {

struct Options {
    std::optional<std::filesystem::path> mount_point;
    bool daemon = false;
    bool debug = false;  // FUSE's own trace of every call
    bool help = false;
};

// Empty with a reason in `error` for arguments it does not take.
std::optional<Options> parse_command_line(std::span<const std::string> args, std::string& error);

const char* usage_text();

}  // namespace qpx::fuse_view
