// READ TOC: the table of contents (format 0 and the formats without an
// answer of their own) or the session information (format 1), in MSF or LBA
// form as the MSF bit asks, cut to the allocation length.
#include <vector>

#include "be_fields.h"
#include "commands.h"
#include "drive_opening.h"
#include "sense.h"
#include "toc_builder.h"

namespace qpx::driver {
namespace {

constexpr std::uint8_t kMsfBit = 0x02;
constexpr std::uint8_t kFormatSessions = 1;

// The format field (byte 2); older initiators put it in bits 7..6 of byte 9.
std::uint8_t toc_format(const ScsiRequest& request) {
    const std::uint8_t format = request.cdb[2] & 0x0F;
    return format != 0 ? format : static_cast<std::uint8_t>(request.cdb[9] >> 6);
}

}  // namespace

SrbStatus read_toc(const Unit& unit, ScsiRequest& request) {
    const auto medium = ready_medium(unit);
    if (!medium) return check_condition(request, sense::kNotReady, sense::kAscMediumNotPresent);
    const auto toc = build_toc(*medium);
    if (!toc) return SrbStatus::success;  // a container type without a TOC

    const bool msf = (request.cdb[1] & kMsfBit) != 0;
    std::vector<std::uint8_t> answer;
    if (toc_format(request) == kFormatSessions) {
        encode_sessions(build_sessions(*medium, *toc), msf, answer);
    } else if (!encode_toc(*toc, msf, request.cdb[6], answer)) {
        return check_condition(request, sense::kIllegalRequest, sense::kAscInvalidFieldInCdb);
    }
    return answer_data(request, answer.data(), answer.size(), load_be16(request.cdb, 7));
}

}  // namespace qpx::driver
