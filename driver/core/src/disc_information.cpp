// READ DISC INFORMATION: a finished, read-only disc with the sessions and
// tracks of its TOC.
#include "be_fields.h"
#include "commands.h"
#include "drive_opening.h"
#include "mmc_answers.h"
#include "toc_builder.h"

namespace qpx::driver {

SrbStatus disc_information(const Unit& unit, ScsiRequest& request) {
    if ((request.cdb[1] & 0x07) != 0) return invalid_field(request);  // only standard disc information
    const auto medium = ready_medium(unit);
    if (!medium) return no_medium(request);
    const auto toc = build_toc(*medium);
    if (!toc || toc->tracks.empty()) return invalid_field(request);
    const SessionModel sessions = build_sessions(*medium, *toc);

    std::vector<std::uint8_t> data(34, 0);
    store_be16(data, 0, static_cast<std::uint16_t>(data.size() - 2));
    data[2] = 0x0E;  // last session complete, disc complete, not erasable
    data[3] = toc->tracks.front().track;
    data[4] = sessions.last_session;
    data[5] = sessions.first_track_of_last_session ? sessions.first_track_of_last_session->track
                                                   : toc->tracks.front().track;
    data[6] = toc->tracks.back().track;
    data[8] = 0x00;  // CD-DA or CD-ROM disc
    store_be32(data, 16, 0xFFFFFFFF);  // no next session
    store_be32(data, 20, 0xFFFFFFFF);
    return answer(request, data, load_be16(request.cdb, 7));
}

}  // namespace qpx::driver
