#include "raw_initiator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "big_endian.h"
#include "pdu_stream.h"
#include "text_keys.h"

namespace qpx::iscsi::test {

RawInitiator::RawInitiator(std::uint16_t port) {
    socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (socket_ < 0 || ::connect(socket_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        throw std::runtime_error("cannot connect to the target");
}

RawInitiator::~RawInitiator() { close(); }

void RawInitiator::close() {
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
}

void RawInitiator::send_bytes(const std::vector<std::uint8_t>& bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t n = ::send(socket_, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n <= 0) return;  // the target may already have closed
        at += static_cast<std::size_t>(n);
    }
}

std::optional<Pdu> RawInitiator::receive() {
    Pdu pdu;
    if (read_pdu(socket_, 1 << 24, pdu) != ReadResult::ok) return std::nullopt;
    return pdu;
}

bool RawInitiator::closed_by_target(int allowed) {
    for (int i = 0; i <= allowed; ++i)
        if (!receive()) return true;
    return false;
}

Pdu RawInitiator::login(std::uint8_t current, std::uint8_t next,
                        const std::vector<std::pair<std::string, std::string>>& keys) {
    Pdu p;
    p.bhs[0] = 0x40 | opcode::login;
    p.bhs[1] = static_cast<std::uint8_t>(0x80 | current << 2 | next);
    p.bhs[8] = 0x80;  // ISID of a random-number type
    p.bhs[13] = 0x01;
    p.set_task_tag(1);
    for (const auto& [k, v] : keys) append_text(p.data, k, v);
    return p;
}

bool RawInitiator::log_in(const std::string& target) {
    send(login(1, 3, {{"InitiatorName", "iqn.2026-12.org.example:raw"}, {"SessionType", "Normal"},
                      {"TargetName", target}, {"HeaderDigest", "None"}, {"DataDigest", "None"}}));
    const auto answer = receive();
    return answer && answer->opcode() == opcode::login_response && answer->bhs[36] == 0 && answer->bhs[37] == 0 &&
           (answer->bhs[1] & 0x83) == 0x83;
}

}  // namespace qpx::iscsi::test
