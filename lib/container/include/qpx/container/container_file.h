// Direct access to the fixed records of a container file (header start and
// track table) for callers that read or rewrite them in place.
#pragma once

#include <cstdint>
#include <span>
#include <system_error>

#include "qpx/container/format.h"

namespace qpx::container {

// Reads offsets 0..151 of an open file; bad_container unless all 152 bytes
// are there and the signature is "QIM V1.0" or "QIM V3.0".
std::error_code read_header_start(int fd, std::span<std::uint8_t, kHeaderStartSize> out);

// Offset of the track table of an open container file: right after the
// header block and, for disc formats 0x70 and 0x71, the defect map. Fails
// with bad_container unless the signature is accepted and the container type
// is 5, and with medium_error when the file ends before the table does.
std::error_code find_track_table(int fd, std::uint64_t& offset);

}  // namespace qpx::container
