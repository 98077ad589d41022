// The table of contents of the disc in any CD-ROM drive letter: summary and
// track records, the TOC text, and checking that a disc is the expected one.
#include <cstring>
#include <span>
#include <string>

#include "cdrom/drive_opener.h"
#include "qpx/container/byte_order.h"
#include "qpxdrv.h"
#include "toc_records.h"

namespace {

using qpx::lib::TocInfo;
using qpx::lib::TocVerdict;

constexpr std::size_t kRecordStartAt = 0;
constexpr std::size_t kRecordControlAt = 8;

bool read_toc_info(char letter, TocInfo& info) {
    qpx::cdrom::OpenedDrive drive;
    std::string error;
    if (!qpx::cdrom::open_drive(letter, drive, error)) return false;
    qpx::cdrom::Toc toc;
    if (drive.disc->read_toc(toc) != qpx::cdrom::ReadStatus::Ok) return false;
    return qpx::lib::toc_info_from(toc, info) == TocVerdict::Ok;
}

// Appends `piece` when it fits with the terminating NUL; false once it does not.
bool append_if_room(char* buffer, std::size_t size, std::size_t& used, const std::string& piece) {
    if (used + piece.size() + 1 > size) return false;
    std::memcpy(buffer + used, piece.data(), piece.size());
    used += piece.size();
    buffer[used] = '\0';
    return true;
}

}  // namespace

extern "C" {

int QPXGetTOCInfo(char drive, uint16_t* track_count, void* summary, void* track_records) {
    if (!track_count || !summary || !track_records) return 0;
    TocInfo info;
    if (!read_toc_info(drive, info)) return 0;
    *track_count = info.track_count;
    const std::span<uint8_t> head(static_cast<uint8_t*>(summary), QPX_TOC_SUMMARY_SIZE);
    head[0] = info.first_track;
    head[1] = info.last_track;
    qpx::container::store_le32(head, 2, info.lead_out);
    // Only start and control byte are the TOC's; end and title stay the caller's.
    const std::span<uint8_t> table(static_cast<uint8_t*>(track_records), QPX_TRACK_TABLE_SIZE);
    for (std::size_t i = 0; i < info.tracks.size(); ++i) {
        const std::size_t at = i * QPX_TRACK_NODE_SIZE;
        qpx::container::store_le32(table, at + kRecordStartAt, info.tracks[i].start);
        table[at + kRecordControlAt] = info.tracks[i].control;
    }
    return 1;
}

int QPXGetTOC(char drive, char* buffer, uint32_t size) {
    if (!buffer || size == 0) return 0;
    std::memset(buffer, 0, size);
    TocInfo info;
    if (!read_toc_info(drive, info)) return 0;
    std::size_t used = 0;
    for (std::size_t i = 0; i < info.tracks.size(); ++i)
        if (!append_if_room(buffer, size, used, (i ? " " : "") + std::to_string(info.tracks[i].start))) return 1;
    append_if_room(buffer, size, used, " " + std::to_string(info.lead_out));
    return 1;
}

int QPXCheckTOC(char drive, const char* toc_text) {
    if (!toc_text) return 0;
    TocInfo info;
    if (!read_toc_info(drive, info)) return 0;
    return qpx::lib::toc_text(info) == toc_text ? 1 : 0;
}

}  // extern "C"
