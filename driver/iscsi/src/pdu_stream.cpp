#include "pdu_stream.h"

#include <sys/socket.h>

#include <cerrno>

namespace qpx::iscsi {
namespace {

bool read_exact(int fd, std::uint8_t* into, std::size_t n) {
    while (n > 0) {
        const ssize_t got = ::recv(fd, into, n, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        into += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

bool write_all(int fd, const std::uint8_t* from, std::size_t n) {
    while (n > 0) {
        const ssize_t put = ::send(fd, from, n, MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        from += put;
        n -= static_cast<std::size_t>(put);
    }
    return true;
}

}  // namespace

ReadResult read_pdu(int fd, std::size_t max_data, Pdu& out) {
    if (!read_exact(fd, out.bhs.data(), kBhsSize)) return ReadResult::closed;
    const std::size_t ahs_bytes = declared_ahs_bytes(out.bhs);
    const std::size_t data_bytes = declared_data_bytes(out.bhs);
    if (data_bytes > max_data) return ReadResult::too_long;
    out.ahs.resize(ahs_bytes);  // at most 1,020 bytes
    if (ahs_bytes > 0 && !read_exact(fd, out.ahs.data(), ahs_bytes)) return ReadResult::closed;
    out.data.resize(padded(data_bytes));
    if (!out.data.empty() && !read_exact(fd, out.data.data(), out.data.size())) return ReadResult::closed;
    out.data.resize(data_bytes);
    return ReadResult::ok;
}

bool write_pdu(int fd, const Pdu& pdu) {
    const std::vector<std::uint8_t> wire = encode_pdu(pdu);
    return write_all(fd, wire.data(), wire.size());
}

}  // namespace qpx::iscsi
