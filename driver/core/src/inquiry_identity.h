// What INQUIRY reports about a unit: device type, texts and serial number.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "unit.h"

namespace qpx::driver {

inline constexpr std::string_view kInquiryVendor = "ORN     ";

// 0x05 (CD-ROM) for drives; 0x1C, a type no class driver claims, for the controller units.
std::uint8_t inquiry_device_type(const Unit& unit);
std::string_view inquiry_product(const Unit& unit);
// "QPX" and the unit number in four digits: the same for a unit every time.
std::string unit_serial_number(const Unit& unit);

}  // namespace qpx::driver
