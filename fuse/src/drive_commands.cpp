#include "drive_commands.h"

#include <chrono>
#include <vector>

#include "cdrom/be_fields.h"
#include "cdrom/read_toc_answer.h"

namespace qpx::fuse_view {
namespace {

using namespace std::chrono_literals;

constexpr auto kReadTimeout = 30s;
constexpr auto kShortTimeout = 5s;

}  // namespace

std::uint32_t sectors_per_command(cdrom::SectorForm form) {
    return static_cast<std::uint32_t>(kMaxTransferBytes / cdrom::sector_size(form));
}

std::array<std::uint8_t, 6> test_unit_ready_command() { return {}; }

std::array<std::uint8_t, 10> read10_command(std::uint32_t lba, std::uint16_t count) {
    std::array<std::uint8_t, 10> cdb{};
    cdb[0] = 0x28;
    cdrom::store_be32(cdb, 2, lba);
    cdrom::store_be16(cdb, 7, count);
    return cdb;
}

std::array<std::uint8_t, 12> read_cd_command(std::uint32_t lba, std::uint32_t count) {
    std::array<std::uint8_t, 12> cdb{};
    cdb[0] = 0xBE;
    cdb[1] = 0x00;  // expected sector type: any
    cdrom::store_be32(cdb, 2, lba);
    cdrom::store_be24(cdb, 6, count);
    cdb[9] = 0xF8;  // sync, all header codes, user data, EDC/ECC
    return cdb;
}

cdrom::ScsiOutcome test_unit_ready(cdrom::ScsiChannel& channel) {
    const auto cdb = test_unit_ready_command();
    return channel.execute_in(cdb, {}, kShortTimeout);
}

cdrom::ScsiOutcome read_sectors(cdrom::ScsiChannel& channel, std::uint32_t lba, std::uint32_t count,
                                cdrom::SectorForm form, std::span<std::uint8_t> out) {
    const std::span<std::uint8_t> data = out.first(std::size_t{count} * cdrom::sector_size(form));
    if (form == cdrom::SectorForm::UserData) {
        const auto cdb = read10_command(lba, static_cast<std::uint16_t>(count));
        return channel.execute_in(cdb, data, kReadTimeout);
    }
    const auto cdb = read_cd_command(lba, count);
    return channel.execute_in(cdb, data, kReadTimeout);
}

cdrom::ScsiOutcome read_toc(cdrom::ScsiChannel& channel, cdrom::Toc& out, bool& parsed) {
    std::vector<std::uint8_t> answer(cdrom::kReadTocAnswerSize, 0);
    const auto cdb = cdrom::read_toc_command();
    const cdrom::ScsiOutcome outcome = channel.execute_in(cdb, answer, kShortTimeout);
    parsed = outcome.good() && cdrom::parse_read_toc_answer(answer, out);
    return outcome;
}

}  // namespace qpx::fuse_view
