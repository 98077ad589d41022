// Reading and writing whole PDUs on a connected socket.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "pdu.h"

namespace qpx::iscsi {

enum class ReadResult {
    ok,
    closed,        // the peer closed or the socket failed, possibly mid-PDU
    too_long,      // the data segment is longer than allowed
};

// Reads one PDU from `fd`. A data segment longer than `max_data` is refused
// before anything of it is allocated.
ReadResult read_pdu(int fd, std::size_t max_data, Pdu& out);

// Writes the whole PDU; false when the socket failed.
bool write_pdu(int fd, const Pdu& pdu);

}  // namespace qpx::iscsi
