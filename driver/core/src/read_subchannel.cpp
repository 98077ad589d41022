// READ SUB-CHANNEL: whatever format is asked, the current-position block of
// 16 bytes in MSF form, from the play state the player reports.
#include <array>

#include "be_fields.h"
#include "commands.h"
#include "msf.h"
#include "sense.h"
#include "toc_builder.h"

namespace qpx::driver {
namespace {

constexpr std::size_t kBlockLength = 16;

void put_msf(std::array<std::uint8_t, kBlockLength>& b, std::size_t at, const Msf& m) {
    b[at] = static_cast<std::uint8_t>(m.minute);
    b[at + 1] = m.second;
    b[at + 2] = m.frame;
}

}  // namespace

SrbStatus read_subchannel(const AdapterState& adapter, const Unit& unit, ScsiRequest& request) {
    const PlayState& play = adapter.play;
    std::uint8_t control = 0;
    std::uint64_t track_start = 0;  // frames from the disc's start
    if (const auto medium = unit.medium(); medium && play.current_track >= 1) {
        const auto& entries = medium->header().tracks;
        if (play.current_track <= entries.size()) {
            const auto& entry = entries[play.current_track - 1u];
            control = entry.control;
            track_start = static_cast<std::uint64_t>(frames_of(unpack_msf(entry.address)));
        }
    }

    std::array<std::uint8_t, kBlockLength> answer{};
    answer[1] = unit.audio_status();
    answer[3] = kBlockLength - 4;
    answer[4] = request.cdb[3];
    answer[5] = swap_nibbles(control);
    answer[6] = play.current_track;
    answer[7] = 1;  // index
    put_msf(answer, 9, msf_of_frames(track_start + play.played_frames));
    put_msf(answer, 13, msf_of_frames(play.played_frames));
    return answer_data(request, answer.data(), answer.size(), load_be16(request.cdb, 7));
}

}  // namespace qpx::driver
