#include "cd_sector_reads.h"

#include <algorithm>
#include <array>
#include <span>

namespace qpx::lib {
namespace {

using cdrom::ReadStatus;
using cdrom::SectorForm;

constexpr int kTriesPerRawSector = 3;
// Sector numbers carry 24 bits, counts 16.
constexpr std::uint32_t kSectorMask = 0xFFFFFF;
constexpr std::uint32_t kCountMask = 0xFFFF;

bool readable(cdrom::DiscSource& disc, std::int64_t sector, int mode) {
    if (sector < 0 || sector > kSectorMask) return false;
    std::array<std::uint8_t, cdrom::kRawSectorSize> buffer;
    return read_cd_sectors(disc, static_cast<std::uint32_t>(sector), 1, buffer.data(), mode);
}

}  // namespace

SectorForm sector_form_of_mode(int mode) {
    if (mode == 1) return SectorForm::UserData;
    if (mode == 2) return SectorForm::Audio;
    return SectorForm::RawData;
}

std::size_t sector_size_of_mode(int mode) { return cdrom::sector_size(sector_form_of_mode(mode)); }

bool read_cd_sectors(cdrom::DiscSource& disc, std::uint32_t sector, std::uint32_t count, std::uint8_t* buffer,
                     int mode) {
    sector &= kSectorMask;
    count &= kCountMask;
    if (count == 0) return true;
    if (!buffer) return false;
    const SectorForm form = sector_form_of_mode(mode);
    const std::size_t size = cdrom::sector_size(form);
    if (form == SectorForm::UserData)
        return disc.read(sector, count, form, std::span(buffer, static_cast<std::size_t>(count) * size)) ==
               ReadStatus::Ok;
    std::array<std::uint8_t, cdrom::kRawSectorSize> raw;
    for (std::uint32_t i = 0; i < count; ++i) {
        ReadStatus status = ReadStatus::ReadError;
        for (int attempt = 0; attempt < kTriesPerRawSector && status != ReadStatus::Ok; ++attempt) {
            status = disc.read(sector + i, 1, form, raw);
            if (status == ReadStatus::MediumChanged) return false;
        }
        if (status != ReadStatus::Ok) return false;
        std::copy(raw.begin(), raw.end(), buffer + static_cast<std::size_t>(i) * size);
    }
    return true;
}

int read_with_patience(cdrom::DiscSource& disc, cdrom::Waiter& waiter, std::uint32_t sector, int mode, int attempts,
                       std::chrono::milliseconds pause) {
    std::array<std::uint8_t, cdrom::kRawSectorSize> buffer;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        if (read_cd_sectors(disc, sector, 1, buffer.data(), mode)) return attempt;
        if (attempt < attempts) waiter.wait(pause);
    }
    return 0;
}

std::int32_t search_track_end(cdrom::DiscSource& disc, std::int32_t low, std::int32_t high, int mode) {
    if (readable(disc, high, mode)) return high;
    std::int64_t lo = low;
    if (mode == 1 || mode == 4) {
        // A track often ends in a run-out of unreadable sectors: look just
        // before the last 72 sectors first.
        const std::int64_t probe_start = static_cast<std::int64_t>(high) - 76;
        bool all_read = true;
        for (std::int64_t s = probe_start; s <= probe_start + 4; ++s) {
            if (readable(disc, s, mode)) continue;
            if (s != probe_start) return static_cast<std::int32_t>(s - 1);
            all_read = false;
            break;
        }
        if (all_read) lo = static_cast<std::int64_t>(high) - 71;
    }
    std::int64_t hi = high;
    while (hi >= lo) {
        const std::int64_t middle = (lo + hi) / 2;
        if (readable(disc, middle, mode))
            lo = middle + 1;
        else
            hi = middle - 1;
    }
    return static_cast<std::int32_t>(std::min<std::int64_t>(high, lo));
}

}  // namespace qpx::lib
