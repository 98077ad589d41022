// GET EVENT STATUS NOTIFICATION (polled): the media class only. Presence is
// what TEST UNIT READY would find; a medium change the readiness check has
// not reported yet shows as new media or media removal, and stays until the
// readiness check reports it.
#include "be_fields.h"
#include "commands.h"
#include "drive_opening.h"
#include "mmc_answers.h"

namespace qpx::driver {
namespace {

constexpr std::uint8_t kPolledBit = 0x01;
constexpr std::uint8_t kMediaClassBit = 0x10;
constexpr std::uint8_t kMediaClass = 4;
constexpr std::uint8_t kNoEventAvailable = 0x80;
constexpr std::uint8_t kNoChange = 0, kNewMedia = 2, kMediaRemoval = 3;
constexpr std::uint8_t kMediaPresent = 0x02;

}  // namespace

SrbStatus event_status(const Unit& unit, ScsiRequest& request) {
    if ((request.cdb[1] & kPolledBit) == 0) return invalid_field(request);  // asynchronous events are not offered
    const std::size_t allocation = load_be16(request.cdb, 7);
    std::vector<std::uint8_t> data(4, 0);
    data[3] = kMediaClassBit;
    if ((request.cdb[4] & kMediaClassBit) == 0) {
        data[2] = kNoEventAvailable;
        store_be16(data, 0, 2);
        return answer(request, data, allocation);
    }
    const bool present = ready_medium(unit) != nullptr;
    const auto pending = unit.pending_sense();
    const bool changed = pending && pending->key == sense::kUnitAttention && pending->asc == sense::kAscMediumChanged;
    data[2] = kMediaClass;
    data.push_back(changed ? (present ? kNewMedia : kMediaRemoval) : kNoChange);
    data.push_back(present ? kMediaPresent : 0);
    data.push_back(0);
    data.push_back(0);
    store_be16(data, 0, static_cast<std::uint16_t>(data.size() - 2));
    return answer(request, data, allocation);
}

}  // namespace qpx::driver
