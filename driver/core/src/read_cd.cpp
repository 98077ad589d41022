// READ CD and READ CD MSF: sectors of any kind with the fields CDB byte 9
// selects. Data sectors come from the container (rebuilt into whole mode 1
// sectors for cooked tracks), audio sectors from the tracks' wave files.
// Sub-channel data and C2 error information are not offered.
#include "commands.h"
#include "be_fields.h"
#include "disc_extent.h"
#include "disc_sector_reader.h"
#include "msf.h"
#include "qpx/container/errors.h"
#include "read_failure.h"
#include "read_path.h"
#include "sense.h"

namespace qpx::driver {
namespace {

constexpr std::uint8_t kReadCdMsf = 0xB9;
constexpr std::uint8_t kC2Bits = 0x06;
constexpr std::uint8_t kSubChannelBits = 0x07;

struct ReadCdCommand {
    std::uint32_t first = 0;
    std::uint32_t count = 0;
    std::uint8_t expected = expected_sector::any;
    FieldSelection fields;
};

std::int64_t lba_of_cdb_msf(const ScsiRequest& request, std::size_t at) {
    return frames_of(Msf{request.cdb[at], request.cdb[at + 1], request.cdb[at + 2]}) - kLbaZeroFrames;
}

// False for a command block the drive does not serve.
bool parse(const ScsiRequest& request, ReadCdCommand& out) {
    const auto& cdb = request.cdb;
    out.expected = (cdb[1] >> 2) & 0x07;
    if (out.expected > expected_sector::mode2_form2) return false;
    if ((cdb[9] & kC2Bits) != 0 || (cdb[10] & kSubChannelBits) != 0) return false;
    out.fields = FieldSelection::from_cdb_byte9(cdb[9]);
    if (request.opcode() == kReadCdMsf) {
        if (cdb[4] >= 60 || cdb[5] >= 75 || cdb[7] >= 60 || cdb[8] >= 75) return false;
        const std::int64_t start = lba_of_cdb_msf(request, 3);
        const std::int64_t end = lba_of_cdb_msf(request, 6);
        if (start < 0 || end < start) return false;
        out.first = static_cast<std::uint32_t>(start);
        out.count = static_cast<std::uint32_t>(end - start);
    } else {
        out.first = load_be32(cdb, 2);
        out.count = load_be24(cdb, 6);
    }
    return true;
}

SrbStatus serve_read_cd(const container::Container& medium, container::BlockCache& cache, const Unit& unit,
                        ScsiRequest& request) {
    ReadCdCommand command;
    parse(request, command);
    const std::int64_t sectors = disc_sector_count(medium);
    if (command.count > 0 && command.first >= sectors)
        return check_condition(request, sense::kIllegalRequest, kAscLbaOutOfRange);

    DiscSectorReader reader(medium, cache, unit.file_name());
    std::array<std::uint8_t, kCdSectorBytes> sector{};
    const bool user_only = command.fields.user_data_only();
    std::size_t at = 0;
    for (std::uint32_t i = 0; i < command.count && at < request.data.size(); ++i) {
        const std::uint32_t s = command.first + i;
        SectorKind kind = SectorKind::mode1;
        if (s >= sectors || reader.read(s, user_only, sector, kind)) return unrecovered_read(request, at, s);
        if (!matches_expected(kind, command.expected)) {
            request.transferred = at;
            return check_condition_at(request, sense::kIllegalRequest, kAscIllegalModeForTrack, s);
        }
        at += select_fields(sector, kind, command.fields, request.data, at);
    }
    request.transferred = std::min(at, request.data.size());
    return SrbStatus::success;
}

}  // namespace

SrbStatus read_cd(AdapterState& adapter, Unit& unit, ScsiRequest& request) {
    ReadCdCommand command;
    if (!parse(request, command)) return check_condition(request, sense::kIllegalRequest, sense::kAscInvalidFieldInCdb);
    return accept_read(adapter, unit, request, serve_read_cd);
}

}  // namespace qpx::driver
