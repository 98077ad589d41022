// WRITE BUFFER messages of the player: position reports (which also move
// play on to the next track when a track ends) and its shutdown.
#include "be_fields.h"
#include "commands.h"
#include "qpx/driver/adapter_layout.h"
#include "wave_path.h"

namespace qpx::driver {
namespace {

constexpr std::size_t kMessageOffset = 8;
constexpr std::size_t kUnitOffset = 48;
constexpr std::size_t kFramesOffset = 52;
constexpr std::size_t kPositionReportMinimum = kFramesOffset + 4;
constexpr std::uint16_t kPositionReport = 0x55E1;
constexpr std::uint16_t kPlayerShutdown = 0x55E2;

void play_completed(AdapterState& adapter, Unit& unit) {
    unit.set_audio_status(audio_status::completed);
    adapter.play.played_frames = 0;
    const auto medium = unit.medium();
    adapter.play.current_track = medium ? medium->header().first_track : 0;
}

SrbStatus position_report(AdapterState& adapter, ScsiRequest& request) {
    if (request.data.size() < kPositionReportMinimum) return SrbStatus::invalid_request;
    const std::uint32_t number = load_le32(request.data, kUnitOffset) & 0xFFFF;
    const std::uint32_t frames = load_le32(request.data, kFramesOffset);
    Unit* unit = adapter.unit(number);
    if (!unit || !is_drive_unit(number)) return SrbStatus::invalid_request;

    PlayState& play = adapter.play;
    if (frames != 0) {
        play.played_frames = frames;
        return SrbStatus::success;
    }
    if (unit->audio_status() != audio_status::playing) return SrbStatus::success;
    if (play.current_track >= play.end_track) {
        play_completed(adapter, *unit);
        return SrbStatus::success;
    }
    // The track has ended and more are to be played: on to the next one.
    const auto medium = unit->medium();
    const std::uint8_t next = static_cast<std::uint8_t>(play.current_track + 1);
    std::optional<std::string> path;
    if (medium && next <= medium->track_nodes().size())
        path = wave_path_of(unit->file_name(), medium->track_nodes()[next - 1u]);
    if (!path) {
        // The next track has no wave file (a data track): play ends here.
        play_completed(adapter, *unit);
        return SrbStatus::success;
    }
    play.played_frames = 0;
    play.current_track = next;
    adapter.services.player.send({PlayerCommandCode::play, number, 0, *path});
    return SrbStatus::success;
}

}  // namespace

SrbStatus write_buffer(AdapterState& adapter, ScsiRequest& request) {
    if (request.data.size() < kMessageOffset + 2) return SrbStatus::invalid_request;
    switch (load_le16(request.data, kMessageOffset)) {
        case kPositionReport: return position_report(adapter, request);
        case kPlayerShutdown:
            if (adapter.services.shutdown) adapter.services.shutdown->player_shut_down();
            return SrbStatus::success;
        default: return SrbStatus::invalid_request;
    }
}

}  // namespace qpx::driver
