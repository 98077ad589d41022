#include "wire_status.h"

#include <algorithm>

#include "big_endian.h"
#include "qpx/driver/srb_status.h"

namespace qpx::iscsi {
namespace {

using driver::SrbStatus;
namespace sense = driver::sense;

constexpr std::uint8_t kRead10 = 0x28;
constexpr std::uint8_t kAscUnrecoveredReadError = 0x11;
constexpr std::size_t kFixedSenseBytes = 18;

std::vector<std::uint8_t> sense_of(const driver::ScsiRequest& r) {
    if (r.sense.size() < 8) return fixed_sense(sense::kHardwareError, sense::kAscNone);
    const std::size_t length = std::min<std::size_t>(r.sense.size(), 8 + std::size_t{r.sense[7]});
    return {r.sense.begin(), r.sense.begin() + static_cast<std::ptrdiff_t>(length)};
}

// The core answers a READ(10) that stops early with NO SENSE and the bytes
// it delivered; on the wire that is an unrecovered read error at the first
// sector missing.
bool is_short_read10(const driver::ScsiRequest& r) {
    return r.opcode() == kRead10 && r.sense.size() >= 13 && (r.sense[2] & 0x0F) == sense::kNoSense &&
           r.sense[12] == sense::kAscNone;
}

std::uint32_t first_missing_sector(const driver::ScsiRequest& r) {
    const std::span<const std::uint8_t> cdb(r.cdb);
    const bool raw = r.data.size() % 2352 == 0 && r.data.size() % 2048 != 0;
    const std::size_t sector_bytes = raw ? 2352 : 2048;
    return get_be32(cdb, 2) + static_cast<std::uint32_t>(r.transferred / sector_bytes);
}

}  // namespace

std::vector<std::uint8_t> fixed_sense(std::uint8_t key, std::uint8_t asc, std::optional<std::uint32_t> information) {
    std::vector<std::uint8_t> s(kFixedSenseBytes, 0);
    s[0] = 0x70;
    s[2] = key & 0x0F;
    s[7] = static_cast<std::uint8_t>(kFixedSenseBytes - 8);
    s[12] = asc;
    if (information) {
        s[0] |= 0x80;
        put_be32(s, 3, *information);
    }
    return s;
}

WireStatus wire_status_of(const driver::ScsiRequest& r) {
    WireStatus w;
    w.data_bytes = std::min(r.transferred, r.data.size());
    switch (r.status) {
        case SrbStatus::success:
            w.status = r.scsi_status;
            if (r.scsi_status == driver::kScsiCheckCondition) w.sense = sense_of(r);
            return w;
        case SrbStatus::error_with_sense:
            w.status = driver::kScsiCheckCondition;
            w.sense = is_short_read10(r) ? fixed_sense(sense::kMediumError, kAscUnrecoveredReadError,
                                                       first_missing_sector(r))
                                         : sense_of(r);
            return w;
        case SrbStatus::invalid_request:
            w.status = driver::kScsiCheckCondition;
            w.sense = fixed_sense(sense::kIllegalRequest, sense::kAscInvalidOperationCode);
            w.data_bytes = 0;
            return w;
        case SrbStatus::busy:
            w.status = kStatusBusy;
            w.data_bytes = 0;
            return w;
        case SrbStatus::aborted:
            w.status = driver::kScsiCheckCondition;
            w.sense = fixed_sense(sense::kAbortedCommand, sense::kAscNone);
            w.data_bytes = 0;
            return w;
        default:
            w.status = driver::kScsiCheckCondition;
            w.sense = fixed_sense(sense::kHardwareError, sense::kAscNone);
            w.data_bytes = 0;
            return w;
    }
}

}  // namespace qpx::iscsi
