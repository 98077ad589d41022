// GET CONFIGURATION: the CD-ROM profile and the features a read-only CD-ROM
// drive has (profile list, core, morphing, removable medium, random
// readable, CD read); the current profile and the medium-bound features
// follow the medium.
#include "be_fields.h"
#include "commands.h"
#include "drive_opening.h"
#include "mmc_answers.h"

namespace qpx::driver {
namespace {

constexpr std::uint16_t kCdRomProfile = 0x0008;
// Requested types: 0 all features, 1 current features, 2 one feature.
constexpr std::uint8_t kAllFeatures = 0, kOneFeature = 2;
constexpr std::uint8_t kPersistent = 0x02, kCurrent = 0x01;

struct Feature {
    std::uint16_t code;
    std::uint8_t version;
    bool persistent;
    bool current;
    std::vector<std::uint8_t> body;
};

std::vector<Feature> features(bool medium) {
    std::vector<std::uint8_t> random_readable(8, 0);
    store_be32(random_readable, 0, 2048);  // logical block size
    store_be16(random_readable, 4, 1);     // blocking
    return {
        {0x0000, 0, true, true, {0x00, 0x08, std::uint8_t(medium ? 0x01 : 0x00), 0x00}},
        {0x0001, 2, true, true, {0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00}},  // SCSI interface
        {0x0002, 1, true, true, {0x02, 0x00, 0x00, 0x00}},  // operational change events by polling
        {0x0003, 0, true, true, {0x28, 0x00, 0x00, 0x00}},  // tray, eject
        {0x0010, 0, false, medium, random_readable},
        {0x001E, 2, false, medium, {0x00, 0x00, 0x00, 0x00}},
    };
}

void put(std::vector<std::uint8_t>& out, const Feature& f) {
    out.push_back(static_cast<std::uint8_t>(f.code >> 8));
    out.push_back(static_cast<std::uint8_t>(f.code));
    out.push_back(static_cast<std::uint8_t>((f.version << 2) | (f.persistent ? kPersistent : 0) |
                                            (f.current ? kCurrent : 0)));
    out.push_back(static_cast<std::uint8_t>(f.body.size()));
    out.insert(out.end(), f.body.begin(), f.body.end());
}

}  // namespace

SrbStatus get_configuration(const Unit& unit, ScsiRequest& request) {
    const std::uint8_t rt = request.cdb[1] & 0x03;
    if (rt > kOneFeature) return invalid_field(request);
    const std::uint16_t start = load_be16(request.cdb, 2);
    const bool medium = ready_medium(unit) != nullptr;

    std::vector<std::uint8_t> data(8, 0);
    store_be16(data, 6, medium ? kCdRomProfile : 0);
    for (const Feature& f : features(medium)) {
        const bool wanted = rt == kOneFeature ? f.code == start
                                              : f.code >= start && (rt == kAllFeatures || f.current);
        if (wanted) put(data, f);
    }
    store_be32(data, 0, static_cast<std::uint32_t>(data.size() - 4));
    return answer(request, data, load_be16(request.cdb, 7));
}

}  // namespace qpx::driver
