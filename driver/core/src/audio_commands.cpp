// PLAY AUDIO MSF, PAUSE/RESUME and stopping through START STOP UNIT: the
// drive keeps the play state and hands the playing to the player.
#include <algorithm>

#include "commands.h"
#include "drive_opening.h"
#include "msf.h"
#include "sense.h"
#include "wave_path.h"

namespace qpx::driver {
namespace {

constexpr std::uint8_t kStartBit = 0x01;

std::uint32_t packed_from_cdb(const ScsiRequest& request, std::size_t at) {
    return (std::uint32_t{request.cdb[at]} << 16) | (std::uint32_t{request.cdb[at + 1]} << 8) | request.cdb[at + 2];
}

// Number of the track holding `packed`: how many of the header's first
// (last track) entries start at or before it, counted up to the first entry
// after it. 0 when it lies before the first track.
std::uint8_t track_at(const container::Header& h, std::uint32_t packed) {
    const std::int64_t at = frames_of(unpack_msf(packed));
    const std::size_t count = std::min<std::size_t>(h.last_track, h.tracks.size());
    std::uint8_t track = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (frames_of(unpack_msf(h.tracks[i].address)) > at) break;
        track = static_cast<std::uint8_t>(i + 1);
    }
    return track;
}

}  // namespace

SrbStatus play_audio_msf(AdapterState& adapter, Unit& unit, ScsiRequest& request) {
    const auto medium = ready_medium(unit);
    if (!medium) return check_condition(request, sense::kNotReady, sense::kAscMediumNotPresent);
    // Only type-5 containers have wave files for their audio tracks.
    if (medium->header().container_type() != container::ContainerType::track_table)
        return SrbStatus::invalid_request;

    const container::Header& h = medium->header();
    const std::uint32_t start = packed_from_cdb(request, 3);
    const std::uint32_t end = packed_from_cdb(request, 6);
    const std::uint8_t start_track = track_at(h, start);
    const std::uint8_t end_track = track_at(h, end);
    if (start_track == 0 || end_track == 0) return SrbStatus::invalid_request;

    const auto path = wave_path_of(unit.file_name(), medium->track_nodes()[start_track - 1u]);
    if (!path) return SrbStatus::invalid_request;  // a data track, or no usable wave file name
    const std::int64_t offset =
        frames_of(unpack_msf(start)) - frames_of(unpack_msf(h.tracks[start_track - 1u].address));

    unit.set_audio_status(audio_status::playing);
    PlayState& play = adapter.play;
    play.played_frames = 0;
    play.current_track = start_track;
    play.end_track = end_track;
    play.start_msf = start;
    play.end_msf = end;
    adapter.services.player.send(
        {PlayerCommandCode::play, unit.number(), static_cast<std::uint32_t>(offset), *path});
    return SrbStatus::success;
}

SrbStatus pause_resume(AdapterState& adapter, Unit& unit, ScsiRequest& request) {
    const bool resume = request.cdb[8] != 0;
    unit.set_audio_status(resume ? audio_status::playing : audio_status::paused);
    adapter.services.player.send(
        {resume ? PlayerCommandCode::resume : PlayerCommandCode::pause, unit.number(), 0, {}});
    return SrbStatus::success;
}

SrbStatus start_stop_unit(AdapterState& adapter, Unit& unit, ScsiRequest& request) {
    if (request.cdb[4] & kStartBit) return SrbStatus::success;
    unit.set_audio_status(audio_status::completed);
    adapter.play.played_frames = 0;
    adapter.services.player.send({PlayerCommandCode::stop, 0, 0, {}});
    return SrbStatus::success;
}

}  // namespace qpx::driver
