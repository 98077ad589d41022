// A bare TCP initiator for sending the target what well-behaved initiators
// never send.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pdu.h"

namespace qpx::iscsi::test {

class RawInitiator {
public:
    explicit RawInitiator(std::uint16_t port);
    ~RawInitiator();

    void send_bytes(const std::vector<std::uint8_t>& bytes);
    void send(const Pdu& pdu) { send_bytes(encode_pdu(pdu)); }
    // The next PDU, or nullopt once the target closed the connection.
    std::optional<Pdu> receive();
    // True when the target closes the connection (without sending more PDUs
    // than `allowed` first).
    bool closed_by_target(int allowed = 1);
    void close();

    // A login request for stage `current` going to `next` (with transit).
    static Pdu login(std::uint8_t current, std::uint8_t next, const std::vector<std::pair<std::string, std::string>>& keys);
    // Logs in to `target` with no authentication; true on success.
    bool log_in(const std::string& target);

private:
    int socket_ = -1;
};

}  // namespace qpx::iscsi::test
