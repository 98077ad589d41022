#include "qpx/container/container_file.h"

#include <array>

#include "qpx/container/byte_order.h"
#include "qpx/container/errors.h"
#include "qpx/container/file_io.h"
#include "qpx/container/header.h"

namespace qpx::container {

std::error_code read_header_start(int fd, std::span<std::uint8_t, kHeaderStartSize> out) {
    std::error_code io;
    if (pread_full(fd, out, 0, io) != out.size()) return Errc::bad_container;
    if (!is_accepted_signature(out.subspan(kOffSignature, kSignatureSize))) return Errc::bad_container;
    return {};
}

std::error_code find_track_table(int fd, std::uint64_t& offset) {
    std::array<std::uint8_t, kHeaderBlockSize> block{};
    std::error_code io;
    if (pread_full(fd, block, 0, io) != block.size()) return Errc::bad_container;
    const Header header = parse_header(block);
    if (!is_accepted_signature(header.signature)) return Errc::bad_container;
    if (header.container_type() != ContainerType::track_table) return Errc::bad_container;

    offset = kHeaderBlockSize;
    if (has_defect_map(header.disc_format)) {
        std::array<std::uint8_t, 4> length{};
        if (pread_full(fd, length, kDefectMapLengthOffset, io) != length.size()) return Errc::medium_error;
        const std::uint32_t map_bytes = load_le32(length, 0);
        if (map_bytes > kMaxDefectMapBytes) return Errc::bad_container;
        offset = kDefectMapBytesOffset + map_bytes;
    }
    const std::int64_t size = file_size(fd);
    if (size < 0 || static_cast<std::uint64_t>(size) < offset + kTrackTableSize) return Errc::medium_error;
    return {};
}

}  // namespace qpx::container
