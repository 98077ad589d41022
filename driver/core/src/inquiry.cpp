// INQUIRY: controller units report a device type no class driver claims,
// drives report a removable CD-ROM drive. With EVPD set, the vital product
// data pages answer instead.
#include <algorithm>
#include <array>
#include <cstdio>

#include "commands.h"
#include "inquiry_identity.h"
#include "mmc_answers.h"
#include "qpx/driver/adapter_layout.h"

namespace qpx::driver {
namespace {

constexpr std::size_t kInquiryLength = 36;
constexpr std::uint8_t kCdRomDevice = 0x05;
constexpr std::uint8_t kUnclaimedDevice = 0x1C;
constexpr std::uint8_t kRemovableBit = 0x80;
constexpr std::uint8_t kEvpdBit = 0x01;
constexpr std::string_view kDriveProduct = "Plexor          ";
constexpr std::string_view kControllerProduct = "Controller      ";
constexpr std::string_view kRevision = "1.00";

void put_text(std::array<std::uint8_t, kInquiryLength>& answer, std::size_t at, std::string_view text) {
    std::copy(text.begin(), text.end(), answer.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace

std::uint8_t inquiry_device_type(const Unit& unit) {
    return is_drive_unit(unit.number()) ? kCdRomDevice : kUnclaimedDevice;
}

std::string_view inquiry_product(const Unit& unit) {
    return is_drive_unit(unit.number()) ? kDriveProduct : kControllerProduct;
}

std::string unit_serial_number(const Unit& unit) {
    char text[16];
    std::snprintf(text, sizeof text, "QPX%04u", static_cast<unsigned>(unit.number() % 10000));
    return text;
}

SrbStatus inquiry(const Unit& unit, ScsiRequest& request) {
    if (request.cdb[1] & kEvpdBit) return inquiry_vpd(unit, request);
    if (request.cdb[2] != 0) return invalid_field(request);  // a page code needs EVPD

    std::array<std::uint8_t, kInquiryLength> answer{};
    const bool drive = is_drive_unit(unit.number());
    answer[0] = inquiry_device_type(unit);
    if (drive) answer[1] = kRemovableBit;
    answer[4] = kInquiryLength - 5;  // additional length: the bytes after byte 4
    put_text(answer, 8, kInquiryVendor);
    put_text(answer, 16, inquiry_product(unit));
    put_text(answer, 32, kRevision);

    std::fill(request.data.begin(), request.data.end(), std::uint8_t{0});
    const std::size_t n = std::min(answer.size(), request.data.size());
    std::copy_n(answer.begin(), n, request.data.begin());
    request.transferred = n;
    return SrbStatus::success;
}

}  // namespace qpx::driver
