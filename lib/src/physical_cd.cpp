// Reading CDs in any CD-ROM drive letter: sectors in the three read modes,
// waiting for a disc or an audio track to become readable, the raw-read
// test and the search for a data track's end.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <span>

#include "cd_sector_reads.h"
#include "cdrom/drive_opener.h"
#include "qpx/container/byte_order.h"
#include "qpxdrv.h"

namespace {

using namespace std::chrono_literals;
using qpx::cdrom::OpenedDrive;

constexpr int kAudioDiscFormat = 2;
constexpr std::uint8_t kDataTrackBit = 0x40;
constexpr std::size_t kRecordControlAt = 8;

constexpr int kDiscReadyAttempts = 60;
constexpr int kAudioReadyAttempts = 16;
constexpr auto kAttemptPause = 1s;
// A disc that needed time to become readable gets a little more to settle.
constexpr auto kSettlePause = 10s;

constexpr std::uint32_t kVolumeDescriptorSector = 16;
constexpr int kRawDataMode = 4;

bool open_letter(char letter, OpenedDrive& drive) {
    std::string error;
    return qpx::cdrom::open_drive(letter, drive, error);
}

// The first data track's start among the caller's records, if any.
bool first_data_track_start(int track_count, const void* records, std::uint32_t& start) {
    if (!records || track_count <= 0) return false;
    const auto count = static_cast<std::size_t>(std::min(track_count, QPX_TRACK_NODE_COUNT));
    const std::span<const std::uint8_t> table(static_cast<const std::uint8_t*>(records), count * QPX_TRACK_NODE_SIZE);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = i * QPX_TRACK_NODE_SIZE;
        if (table[at + kRecordControlAt] & kDataTrackBit) {
            start = qpx::container::load_le32(table, at);
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" {

int QPXReadSectorsFromCD(char drive, uint32_t sector, uint32_t count, void* buffer, int mode) {
    OpenedDrive opened;
    if (!open_letter(drive, opened)) return 0;
    return qpx::lib::read_cd_sectors(*opened.disc, sector, count, static_cast<uint8_t*>(buffer), mode) ? 1 : 0;
}

int QPXWaitForDiscReady(const char* drive, int disc_format, int track_count, const void* track_records) {
    if (disc_format == kAudioDiscFormat) return 1;
    std::uint32_t start = 0;
    if (!first_data_track_start(track_count, track_records, start)) return 1;
    if (!drive) return 0;
    OpenedDrive opened;
    if (!open_letter(drive[0], opened)) return 0;
    const int attempt =
        qpx::lib::read_with_patience(*opened.disc, *opened.waiter, start, 1, kDiscReadyAttempts, kAttemptPause);
    if (attempt == 0) return 0;
    if (attempt > 1) opened.waiter->wait(kSettlePause);
    return 1;
}

int QPXWaitForAudioReady(char drive, uint32_t sector) {
    OpenedDrive opened;
    if (!open_letter(drive, opened)) return 0;
    return qpx::lib::read_with_patience(*opened.disc, *opened.waiter, sector, 2, kAudioReadyAttempts, kAttemptPause) > 0
               ? 1
               : 0;
}

int QPXRawCDTest(char drive) {
    OpenedDrive opened;
    if (!open_letter(drive, opened)) return 0;
    uint8_t sector[qpx::cdrom::kRawSectorSize];
    return qpx::lib::read_cd_sectors(*opened.disc, kVolumeDescriptorSector, 1, sector, kRawDataMode) ? 1 : 0;
}

int32_t QPXBinSrchSize(char drive, int32_t low, int32_t high, int mode) {
    OpenedDrive opened;
    // Without a drive nothing is readable: the search ends at `low`, as it
    // would on a disc none of whose sectors can be read.
    if (!open_letter(drive, opened)) return std::min(low, high);
    return qpx::lib::search_track_end(*opened.disc, low, high, mode);
}

}  // extern "C"
