// Frames on a Unix-domain stream socket: a little-endian 32-bit body length,
// then the body. A file descriptor may ride along with a frame.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "devices/unique_fd.h"

namespace qpx::devices {

// The port host's socket in the machine's runtime folder.
std::filesystem::path port_socket_path();

// Sends one frame; `pass_fd` (when >= 0) travels with it. False when the
// peer is gone or the socket failed. Never raises SIGPIPE.
bool send_frame(int socket, std::span<const std::uint8_t> body, int pass_fd = -1);

enum class FrameRead {
    ok,
    closed,     // the peer closed the connection (before or inside a frame)
    too_large,  // the announced length exceeds `max_body`; nothing more was read
    failed,     // a socket error
};

// Reads one frame of at most `max_body` bytes. When `received` is given, a
// file descriptor sent with the frame is stored there; otherwise any that
// arrive are discarded.
FrameRead read_frame(int socket, std::vector<std::uint8_t>& body, std::size_t max_body,
                     UniqueFd* received = nullptr);

}  // namespace qpx::devices
