// The library's container file accessors: the header start (152 bytes) and
// the track table (70 nodes, 9,590 bytes), read and rewritten in place.
//
// A call succeeds only when the whole record was read or written. Every
// accessor refuses files whose signature is not "QIM V1.0" or "QIM V3.0";
// the track table ones also refuse containers that are not of type 5, whose
// header holds no track table. Writes go to the record's exact offset inside
// an existing container (never extending it) and are synced to disk before
// success is reported.
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <span>

#include "qpx/container/container_file.h"
#include "qpx/container/file_io.h"
#include "qpx/container/header.h"
#include "qpx/container/track_node.h"
#include "qpxdrv.h"

namespace {

namespace qc = qpx::container;

bool usable_path(const char* path) { return path != nullptr && *path != '\0'; }

qc::FileHandle open_for_update(const char* path) {
    return qc::FileHandle(::open(path, O_RDWR | O_CLOEXEC));
}

qc::FileHandle open_for_reading(const char* path) {
    std::error_code ec;
    return qc::open_for_reading(path, ec);
}

bool write_synced(int fd, std::span<const std::uint8_t> bytes, std::uint64_t offset) {
    std::error_code ec;
    return qc::pwrite_full(fd, bytes, offset, ec) && ::fsync(fd) == 0;
}

// A table to be stored must not name wave files outside the container's folder.
bool wave_names_are_safe(std::span<const std::uint8_t, qc::kTrackTableSize> table) {
    const qc::TrackTable nodes = qc::parse_track_table(table);
    for (const qc::TrackNode& node : nodes)
        if (node.storage_kind() == qc::Storage::wave && !node.safe_wave_file_name()) return false;
    return true;
}

}  // namespace

extern "C" QPX_API int QPXReadContainerHeader(const char* path, void* header) {
    if (!usable_path(path) || header == nullptr) return 0;
    const qc::FileHandle file = open_for_reading(path);
    if (!file.is_open()) return 0;
    std::array<std::uint8_t, qc::kHeaderStartSize> start{};
    if (qc::read_header_start(file.get(), start)) return 0;
    std::memcpy(header, start.data(), start.size());
    return 1;
}

extern "C" QPX_API int QPXWriteContainerHeader(const char* path, const void* header) {
    if (!usable_path(path) || header == nullptr) return 0;
    const std::span<const std::uint8_t, qc::kHeaderStartSize> replacement(
        static_cast<const std::uint8_t*>(header), qc::kHeaderStartSize);
    if (!qc::is_accepted_signature(replacement.subspan(qc::kOffSignature, qc::kSignatureSize))) return 0;

    const qc::FileHandle file = open_for_update(path);
    if (!file.is_open()) return 0;
    std::array<std::uint8_t, qc::kHeaderStartSize> current{};
    if (qc::read_header_start(file.get(), current)) return 0;
    if (qc::file_size(file.get()) < static_cast<std::int64_t>(qc::kHeaderBlockSize)) return 0;
    return write_synced(file.get(), replacement, 0) ? 1 : 0;
}

extern "C" QPX_API int QPXReadTrackTableNodes(const char* path, void* nodes) {
    if (!usable_path(path) || nodes == nullptr) return 0;
    const qc::FileHandle file = open_for_reading(path);
    if (!file.is_open()) return 0;
    std::uint64_t offset = 0;
    if (qc::find_track_table(file.get(), offset)) return 0;
    std::array<std::uint8_t, qc::kTrackTableSize> table{};
    std::error_code io;
    if (qc::pread_full(file.get(), table, offset, io) != table.size()) return 0;
    std::memcpy(nodes, table.data(), table.size());
    return 1;
}

extern "C" QPX_API int QPXWriteTrackTableNodes(const char* path, const void* nodes) {
    if (!usable_path(path) || nodes == nullptr) return 0;
    const std::span<const std::uint8_t, qc::kTrackTableSize> table(static_cast<const std::uint8_t*>(nodes),
                                                                  qc::kTrackTableSize);
    if (!wave_names_are_safe(table)) return 0;
    const qc::FileHandle file = open_for_update(path);
    if (!file.is_open()) return 0;
    std::uint64_t offset = 0;
    if (qc::find_track_table(file.get(), offset)) return 0;
    return write_synced(file.get(), table, offset) ? 1 : 0;
}
