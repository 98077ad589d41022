// Check conditions with fixed-format sense data.
#pragma once

#include <cstdint>

#include "qpx/driver/scsi_request.h"

namespace qpx::driver {

// Marks the request CHECK CONDITION and writes the sense key and ASC into its
// sense buffer (byte 0 becomes 0x70 keeping its bit 7, the low nibble of
// byte 2 the key, byte 7 the additional length 10, byte 12 the ASC, byte 13
// 0; no other byte is touched). Returns error_with_sense, or plain error when
// the request has no sense buffer large enough for these fields.
SrbStatus check_condition(ScsiRequest& request, std::uint8_t key, std::uint8_t asc);

// Copies `answer` into the request's data buffer, cut to `allocation` and to
// the buffer, and sets the transferred length. Returns success.
SrbStatus answer_data(ScsiRequest& request, const std::uint8_t* answer, std::size_t length,
                      std::size_t allocation);

}  // namespace qpx::driver
