// INQUIRY: controller units report a device type no class driver claims,
// drives report a CD-ROM drive.
#include <algorithm>
#include <array>
#include <string_view>

#include "commands.h"
#include "qpx/driver/adapter_layout.h"

namespace qpx::driver {
namespace {

constexpr std::size_t kInquiryLength = 36;
constexpr std::uint8_t kCdRomDevice = 0x05;
constexpr std::uint8_t kUnclaimedDevice = 0x1C;
constexpr std::string_view kVendor = "ORN     ";
constexpr std::string_view kDriveProduct = "Plexor          ";
constexpr std::string_view kControllerProduct = "Controller      ";
constexpr std::string_view kRevision = "1.00";

void put_text(std::array<std::uint8_t, kInquiryLength>& answer, std::size_t at, std::string_view text) {
    std::copy(text.begin(), text.end(), answer.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace

SrbStatus inquiry(const Unit& unit, ScsiRequest& request) {
    std::array<std::uint8_t, kInquiryLength> answer{};
    const bool drive = is_drive_unit(unit.number());
    answer[0] = drive ? kCdRomDevice : kUnclaimedDevice;
    put_text(answer, 8, kVendor);
    put_text(answer, 16, drive ? kDriveProduct : kControllerProduct);
    put_text(answer, 32, kRevision);

    std::fill(request.data.begin(), request.data.end(), std::uint8_t{0});
    const std::size_t n = std::min(answer.size(), request.data.size());
    std::copy_n(answer.begin(), n, request.data.begin());
    request.transferred = n;
    return SrbStatus::success;
}

}  // namespace qpx::driver
