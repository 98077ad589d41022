// READ TRACK INFORMATION: a recorded track of the TOC, chosen by LBA, track
// number or session number; its start and size run to the next track or
// the lead-out.
#include <algorithm>

#include "be_fields.h"
#include "commands.h"
#include "drive_opening.h"
#include "mmc_answers.h"
#include "toc_builder.h"

namespace qpx::driver {
namespace {

constexpr std::uint8_t kByLba = 0, kByTrack = 1, kBySession = 2;
constexpr std::uint8_t kDataTrackBit = 0x04;

}  // namespace

SrbStatus track_information(const Unit& unit, ScsiRequest& request) {
    const std::uint8_t by = request.cdb[1] & 0x03;
    const std::uint32_t number = load_be32(request.cdb, 2);
    const auto medium = ready_medium(unit);
    if (!medium) return no_medium(request);
    const auto toc = build_toc(*medium);
    if (!toc || toc->tracks.empty() || !toc->lead_out) return invalid_field(request);
    const SessionModel sessions = build_sessions(*medium, *toc);
    const std::uint8_t last_session_track =
        sessions.last_session > 1 && sessions.first_track_of_last_session ? sessions.first_track_of_last_session->track
                                                                          : 0;
    auto session_of = [&](const TocDescriptor& t) -> std::uint8_t {
        return last_session_track != 0 && t.track >= last_session_track ? sessions.last_session : 1;
    };

    const std::vector<TocDescriptor>& tracks = toc->tracks;
    std::size_t chosen = tracks.size();
    for (std::size_t i = 0; i < tracks.size() && chosen == tracks.size(); ++i) {
        const std::int64_t start = tracks[i].address.lba;
        const std::int64_t next = i + 1 < tracks.size() ? tracks[i + 1].address.lba : toc->lead_out->address.lba;
        if ((by == kByLba && number >= start && number < next) || (by == kByTrack && number == tracks[i].track) ||
            (by == kBySession && number == session_of(tracks[i])))
            chosen = i;
    }
    if (chosen == tracks.size()) return invalid_field(request);

    const TocDescriptor& t = tracks[chosen];
    const std::int64_t next =
        chosen + 1 < tracks.size() ? tracks[chosen + 1].address.lba : toc->lead_out->address.lba;
    const std::int64_t size = std::max<std::int64_t>(next - t.address.lba, 0);
    const bool data_track = (t.adr_control & kDataTrackBit) != 0;

    std::vector<std::uint8_t> data(36, 0);
    store_be16(data, 0, static_cast<std::uint16_t>(data.size() - 2));
    data[2] = t.track;
    data[3] = session_of(t);
    data[5] = t.adr_control & 0x0F;     // track mode: the CONTROL nibble
    data[6] = data_track ? 0x01 : 0x0F;  // data mode 1, or none for audio
    store_be32(data, 8, static_cast<std::uint32_t>(t.address.lba));
    store_be32(data, 24, static_cast<std::uint32_t>(size));
    store_be32(data, 28, static_cast<std::uint32_t>(t.address.lba + size - 1));
    return answer(request, data, load_be16(request.cdb, 7));
}

}  // namespace qpx::driver
