// The command interpreter of the units.
#include "commands.h"
#include "drive_opening.h"
#include "read_path.h"

namespace qpx::driver {
namespace {

namespace op {
constexpr std::uint8_t test_unit_ready = 0x00;
constexpr std::uint8_t request_sense = 0x03;
constexpr std::uint8_t inquiry = 0x12;
constexpr std::uint8_t mode_select6 = 0x15;
constexpr std::uint8_t mode_sense6 = 0x1A;
constexpr std::uint8_t start_stop_unit = 0x1B;
constexpr std::uint8_t prevent_allow_removal = 0x1E;
constexpr std::uint8_t read_capacity = 0x25;
constexpr std::uint8_t read10 = 0x28;
constexpr std::uint8_t write10 = 0x2A;
constexpr std::uint8_t seek10 = 0x2B;
constexpr std::uint8_t verify10 = 0x2F;
constexpr std::uint8_t write_buffer = 0x3B;
constexpr std::uint8_t read_buffer = 0x3C;
constexpr std::uint8_t read_subchannel = 0x42;
constexpr std::uint8_t read_toc = 0x43;
constexpr std::uint8_t play_audio_msf = 0x47;
constexpr std::uint8_t pause_resume = 0x4B;
constexpr std::uint8_t get_configuration = 0x46;
constexpr std::uint8_t event_status = 0x4A;
constexpr std::uint8_t disc_information = 0x51;
constexpr std::uint8_t track_information = 0x52;
constexpr std::uint8_t mode_sense10 = 0x5A;
constexpr std::uint8_t report_luns = 0xA0;
constexpr std::uint8_t read12 = 0xA8;
constexpr std::uint8_t set_cd_speed = 0xBB;
constexpr std::uint8_t mechanism_status = 0xBD;
constexpr std::uint8_t read_cd_msf = 0xB9;
constexpr std::uint8_t read_cd = 0xBE;
}  // namespace op

}  // namespace

SrbStatus send_command(AdapterState& adapter, Unit& unit, ScsiRequest& request) {
    switch (request.opcode()) {
        case op::test_unit_ready: return verify_drive_status(adapter, unit, request);
        case op::inquiry: return inquiry(unit, request);
        case op::mode_select6: return mode_select6(unit, request);
        case op::request_sense: return request_sense(adapter, unit, request);
        case op::mode_sense6:
        case op::mode_sense10: return mode_sense(request);
        case op::set_cd_speed:
        case op::prevent_allow_removal:
        case op::seek10:
        case op::read_buffer: return SrbStatus::success;
        case op::start_stop_unit: return start_stop_or_eject(adapter, unit, request);
        case op::read_capacity: return read_capacity(unit, request);
        case op::read10: return accept_read(adapter, unit, request);
        // The medium is read-only; the answer carries no sense data.
        case op::write10:
        case op::verify10: return SrbStatus::error;
        case op::write_buffer: return write_buffer(adapter, request);
        case op::read_subchannel: return read_subchannel(adapter, unit, request);
        case op::read_toc: return read_toc(unit, request);
        case op::play_audio_msf: return play_audio_msf(adapter, unit, request);
        case op::pause_resume: return pause_resume(adapter, unit, request);
        case op::read12: return read12(adapter, unit, request);
        case op::read_cd:
        case op::read_cd_msf: return read_cd(adapter, unit, request);
        case op::report_luns: return report_luns(request);
        case op::get_configuration: return get_configuration(unit, request);
        case op::event_status: return event_status(unit, request);
        case op::disc_information: return disc_information(unit, request);
        case op::track_information: return track_information(unit, request);
        case op::mechanism_status: return mechanism_status(request);
        default: return SrbStatus::invalid_request;
    }
}

}  // namespace qpx::driver
