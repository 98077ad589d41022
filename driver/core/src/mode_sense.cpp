// MODE SENSE(6) and (10): the CD capabilities and mechanical status page
// (0x2A), alone or as all pages; no block descriptors.
#include "be_fields.h"
#include "commands.h"
#include "mmc_answers.h"

namespace qpx::driver {
namespace {

constexpr std::uint8_t kModeSense10 = 0x5A;
constexpr std::uint8_t kCapabilitiesPage = 0x2A;
constexpr std::uint8_t kAllPages = 0x3F;
constexpr std::uint8_t kSavedValues = 3;
constexpr std::uint8_t kChangeableValues = 1;
constexpr std::uint8_t kAscSavingNotSupported = 0x39;
constexpr std::uint16_t kSpeedKilobytes = 7056;  // 40 x 176.4 kB/s

std::vector<std::uint8_t> capabilities_page(bool changeable) {
    std::vector<std::uint8_t> page(22, 0);
    page[0] = kCapabilitiesPage;
    page[1] = static_cast<std::uint8_t>(page.size() - 2);
    if (changeable) return page;  // nothing can be changed
    page[2] = 0x00;  // reads CD-ROM only
    page[3] = 0x00;  // writes nothing
    page[4] = 0x61;  // audio play, mode 2 form 1 and form 2
    page[5] = 0x03;  // CD-DA commands, CD-DA stream accurate
    page[6] = 0x28;  // tray loading mechanism, eject
    store_be16(page, 8, kSpeedKilobytes);
    store_be16(page, 10, 256);  // volume levels
    store_be16(page, 14, kSpeedKilobytes);
    return page;
}

}  // namespace

SrbStatus mode_sense(ScsiRequest& request) {
    const bool ten = request.opcode() == kModeSense10;
    const std::uint8_t control = request.cdb[2] >> 6;
    const std::uint8_t code = request.cdb[2] & 0x3F;
    if (control == kSavedValues) return check_condition(request, sense::kIllegalRequest, kAscSavingNotSupported);
    if ((code != kCapabilitiesPage && code != kAllPages) || request.cdb[3] != 0) return invalid_field(request);

    const std::vector<std::uint8_t> page = capabilities_page(control == kChangeableValues);
    std::vector<std::uint8_t> data(ten ? 8 : 4, 0);
    data.insert(data.end(), page.begin(), page.end());
    if (ten) {
        store_be16(data, 0, static_cast<std::uint16_t>(data.size() - 2));
        return answer(request, data, load_be16(request.cdb, 7));
    }
    data[0] = static_cast<std::uint8_t>(data.size() - 1);
    return answer(request, data, request.cdb[4]);
}

}  // namespace qpx::driver
