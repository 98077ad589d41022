#include "driver_messages.h"

#include "byte_fields.h"

namespace qpx::player {
namespace {

constexpr std::size_t kMessageField = 8;
constexpr std::size_t kUnitField = 48;
constexpr std::size_t kFramesField = 52;
constexpr std::size_t kReportSize = 60;
constexpr std::size_t kShutdownSize = 48;
constexpr std::uint16_t kPositionReport = 0x55E1;
constexpr std::uint16_t kPlayerShutdown = 0x55E2;

}  // namespace

std::vector<std::uint8_t> position_report_message(std::uint32_t unit, std::uint32_t frames) {
    std::vector<std::uint8_t> m(kReportSize, 0);
    store_le16(m, kMessageField, kPositionReport);
    store_le32(m, kUnitField, unit);
    store_le32(m, kFramesField, frames);
    return m;
}

std::vector<std::uint8_t> shutdown_message() {
    std::vector<std::uint8_t> m(kShutdownSize, 0);
    store_le16(m, kMessageField, kPlayerShutdown);
    return m;
}

}  // namespace qpx::player
