#include "devices/frame_io.h"

#include <sys/socket.h>
#include <sys/uio.h>

#include <cerrno>
#include <cstring>

#include "devices/byte_fields.h"
#include "machine/machine_root.h"

namespace qpx::devices {
namespace {

constexpr std::size_t kLengthBytes = 4;

bool send_all(int socket, const std::uint8_t* data, std::size_t size, int pass_fd) {
    while (size > 0) {
        iovec iov{const_cast<std::uint8_t*>(data), size};
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
        if (pass_fd >= 0) {
            msg.msg_control = control;
            msg.msg_controllen = sizeof control;
            cmsghdr* c = CMSG_FIRSTHDR(&msg);
            c->cmsg_level = SOL_SOCKET;
            c->cmsg_type = SCM_RIGHTS;
            c->cmsg_len = CMSG_LEN(sizeof(int));
            std::memcpy(CMSG_DATA(c), &pass_fd, sizeof(int));
        }
        const ssize_t n = ::sendmsg(socket, &msg, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        pass_fd = -1;  // the descriptor went with the first bytes
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Keeps the first descriptor that arrives (when wanted) and closes the rest.
void take_descriptors(msghdr& msg, UniqueFd* received) {
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
        const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i) {
            int fd;
            std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
            if (received && !received->valid())
                received->reset(fd);
            else
                ::close(fd);
        }
    }
}

FrameRead read_all(int socket, std::uint8_t* data, std::size_t size, UniqueFd* received) {
    while (size > 0) {
        iovec iov{data, size};
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)];
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(socket, &msg, MSG_CMSG_CLOEXEC);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno == ECONNRESET ? FrameRead::closed : FrameRead::failed;
        }
        take_descriptors(msg, received);
        if (n == 0) return FrameRead::closed;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return FrameRead::ok;
}

}  // namespace

std::filesystem::path port_socket_path() { return machine::run_dir() / "qpxmport.sock"; }

bool send_frame(int socket, std::span<const std::uint8_t> body, int pass_fd) {
    std::vector<std::uint8_t> frame;
    frame.reserve(kLengthBytes + body.size());
    FieldWriter w(frame);
    w.le32(static_cast<std::uint32_t>(body.size()));
    w.bytes(body);
    return send_all(socket, frame.data(), frame.size(), pass_fd);
}

FrameRead read_frame(int socket, std::vector<std::uint8_t>& body, std::size_t max_body, UniqueFd* received) {
    std::uint8_t length_bytes[kLengthBytes];
    if (FrameRead r = read_all(socket, length_bytes, kLengthBytes, received); r != FrameRead::ok) return r;
    const std::uint32_t length = load_le32(length_bytes, 0);
    if (length > max_body) return FrameRead::too_large;
    body.resize(length);
    return read_all(socket, body.data(), length, received);
}

}  // namespace qpx::devices
