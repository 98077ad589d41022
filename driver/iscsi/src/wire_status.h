// How a drive's answer goes on the wire: the SCSI status byte, the sense
// data and how many data bytes the initiator receives.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "qpx/driver/scsi_request.h"

namespace qpx::iscsi {

inline constexpr std::uint8_t kStatusBusy = 0x08;

struct WireStatus {
    std::uint8_t status = driver::kScsiGood;
    std::vector<std::uint8_t> sense;  // fixed-format sense for CHECK CONDITION
    std::size_t data_bytes = 0;       // leading bytes of the data buffer to send
};

// Fixed-format sense data (18 bytes) with the key and ASC, qualifier 0, and
// the INFORMATION field with its valid bit when given.
std::vector<std::uint8_t> fixed_sense(std::uint8_t key, std::uint8_t asc,
                                      std::optional<std::uint32_t> information = std::nullopt);

// The wire form of a finished request: invalid requests become
// 5/20/00, a READ(10) that stopped early 3/11/00 naming the first sector not
// delivered, a busy unit BUSY, other failures without sense 4/00/00.
WireStatus wire_status_of(const driver::ScsiRequest& request);

}  // namespace qpx::iscsi
