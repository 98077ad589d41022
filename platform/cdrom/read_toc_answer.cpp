#include "cdrom/read_toc_answer.h"

#include <algorithm>

#include "cdrom/be_fields.h"

namespace qpx::cdrom {
namespace {
constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kDescriptorSize = 8;
}  // namespace

std::array<std::uint8_t, 10> read_toc_command() {
    std::array<std::uint8_t, 10> cdb{};
    cdb[0] = 0x43;
    cdb[1] = 0x00;  // LUN 0, MSF clear: addresses as LBA
    cdb[2] = 0x00;  // format 0: the TOC
    cdb[6] = 1;     // from track 1
    store_be16(cdb, 7, static_cast<std::uint16_t>(kReadTocAnswerSize));
    return cdb;
}

bool parse_read_toc_answer(std::span<const std::uint8_t> answer, Toc& out) {
    out = Toc{};
    if (answer.size() < kHeaderSize) return false;
    const std::size_t data_length = load_be16(answer, 0);  // bytes after the length field
    if (data_length < 2) return false;
    out.first_track = answer[2];
    out.last_track = answer[3];
    const std::size_t stated = (data_length - 2) / kDescriptorSize;
    const std::size_t carried = (answer.size() - kHeaderSize) / kDescriptorSize;
    const std::size_t count = std::min({stated, carried, kMaxTocDescriptors});
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = kHeaderSize + i * kDescriptorSize;
        out.descriptors.push_back({answer[at + 1], answer[at + 2], load_be32(answer, at + 4)});
    }
    return true;
}

}  // namespace qpx::cdrom
