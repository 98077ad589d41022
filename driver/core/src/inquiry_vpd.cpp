// INQUIRY vital product data: the supported pages, the unit serial number
// and the device identification (a T10 vendor designator).
#include <algorithm>
#include <string>
#include <string_view>

#include "be_fields.h"
#include "commands.h"
#include "inquiry_identity.h"
#include "mmc_answers.h"

namespace qpx::driver {
namespace {

constexpr std::uint8_t kPageSupported = 0x00;
constexpr std::uint8_t kPageSerial = 0x80;
constexpr std::uint8_t kPageIdentification = 0x83;

using Bytes = std::vector<std::uint8_t>;

Bytes page(std::uint8_t device_type, std::uint8_t code, const Bytes& body) {
    Bytes data(4 + body.size(), 0);
    data[0] = device_type;
    data[1] = code;
    data[3] = static_cast<std::uint8_t>(body.size());
    std::copy(body.begin(), body.end(), data.begin() + 4);
    return data;
}

Bytes text_bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

}  // namespace

SrbStatus inquiry_vpd(const Unit& unit, ScsiRequest& request) {
    const std::uint8_t type = inquiry_device_type(unit);
    const std::string serial = unit_serial_number(unit);
    const std::size_t allocation = load_be16(request.cdb, 3);
    switch (request.cdb[2]) {
        case kPageSupported:
            return answer(request, page(type, kPageSupported, {kPageSupported, kPageSerial, kPageIdentification}),
                          allocation);
        case kPageSerial: return answer(request, page(type, kPageSerial, text_bytes(serial)), allocation);
        case kPageIdentification: {
            // Code set ASCII, association with the logical unit, type T10 vendor ID.
            const std::string id = std::string(kInquiryVendor) + std::string(inquiry_product(unit)) + serial;
            Bytes designator{0x02, 0x01, 0x00, static_cast<std::uint8_t>(id.size())};
            designator.insert(designator.end(), id.begin(), id.end());
            return answer(request, page(type, kPageIdentification, designator), allocation);
        }
        default: return invalid_field(request);
    }
}

}  // namespace qpx::driver
