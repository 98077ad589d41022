#include "cdrom/mmc_disc_source.h"

#include <algorithm>
#include <array>
#include <vector>

#include "cdrom/be_fields.h"
#include "cdrom/read_toc_answer.h"

namespace qpx::cdrom {
namespace {

using namespace std::chrono_literals;

// Sectors per command: small enough for any SG_IO transfer limit.
constexpr std::uint32_t kSectorsPerCommand = 16;
constexpr auto kReadTimeout = 30s;
constexpr auto kTocTimeout = 2s;

std::array<std::uint8_t, 10> read10_command(std::uint32_t lba, std::uint32_t count) {
    std::array<std::uint8_t, 10> cdb{};
    cdb[0] = 0x28;
    store_be32(cdb, 2, lba);
    store_be16(cdb, 7, static_cast<std::uint16_t>(count));
    return cdb;
}

// READ CD of any sector type, with sync, headers, user data and EDC/ECC:
// 2352 bytes per sector, audio sectors as they are.
std::array<std::uint8_t, 12> read_cd_command(std::uint32_t lba, std::uint32_t count) {
    std::array<std::uint8_t, 12> cdb{};
    cdb[0] = 0xBE;
    cdb[1] = 0x00;  // expected sector type: any
    store_be32(cdb, 2, lba);
    store_be24(cdb, 6, count);
    cdb[9] = 0xF8;  // sync, all header codes, user data, EDC/ECC
    return cdb;
}

}  // namespace

ReadStatus read_status_of(const ScsiOutcome& outcome) {
    if (outcome.good()) return ReadStatus::Ok;
    if (!outcome.delivered) return ReadStatus::ReadError;
    switch (outcome.sense_key) {
    case 0x2: return ReadStatus::NotReady;
    case 0x6: return outcome.asc == 0x28 ? ReadStatus::MediumChanged : ReadStatus::NotReady;
    case 0x5:
        if (outcome.asc == 0x21) return ReadStatus::OutOfRange;
        if (outcome.asc == 0x64) return ReadStatus::WrongTrackType;
        if (outcome.asc == 0x20 || outcome.asc == 0x24) return ReadStatus::Unsupported;
        return ReadStatus::ReadError;
    default: return ReadStatus::ReadError;
    }
}

ReadStatus MmcDiscSource::read_chunk(std::uint32_t lba, std::uint32_t count, SectorForm form,
                                     std::span<std::uint8_t> out) {
    if (form == SectorForm::UserData) {
        const auto cdb = read10_command(lba, count);
        return read_status_of(channel_->execute_in(cdb, out, kReadTimeout));
    }
    const auto cdb = read_cd_command(lba, count);
    return read_status_of(channel_->execute_in(cdb, out, kReadTimeout));
}

ReadStatus MmcDiscSource::read(std::uint32_t lba, std::uint32_t count, SectorForm form,
                               std::span<std::uint8_t> out) {
    const std::size_t size = sector_size(form);
    if (out.size() < static_cast<std::size_t>(count) * size) return ReadStatus::ReadError;
    for (std::uint32_t done = 0; done < count;) {
        const std::uint32_t n = std::min(kSectorsPerCommand, count - done);
        if (ReadStatus st = read_chunk(lba + done, n, form, out.subspan(static_cast<std::size_t>(done) * size, n * size));
            st != ReadStatus::Ok)
            return st;
        done += n;
    }
    return ReadStatus::Ok;
}

ReadStatus MmcDiscSource::read_toc(Toc& out) {
    std::vector<std::uint8_t> answer(kReadTocAnswerSize, 0);
    const auto cdb = read_toc_command();
    if (ReadStatus st = read_status_of(channel_->execute_in(cdb, answer, kTocTimeout)); st != ReadStatus::Ok)
        return st;
    return parse_read_toc_answer(answer, out) ? ReadStatus::Ok : ReadStatus::ReadError;
}

}  // namespace qpx::cdrom
