#include "devices/device_errors.h"

#include <string>

namespace qpx::devices {
namespace {

class DeviceCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "qpx-device"; }
    std::string message(int value) const override {
        switch (static_cast<DeviceErrc>(value)) {
            case DeviceErrc::invalid_name: return "not a device name (expected \\\\.\\ScsiN: or \\\\.\\X:)";
            case DeviceErrc::no_such_device: return "no such device";
            case DeviceErrc::not_served: return "the drive is not an emulated drive of qpxmport";
            case DeviceErrc::host_not_running: return "the port host qpxmport is not running";
            case DeviceErrc::connection_lost: return "the connection to the port host was lost";
            case DeviceErrc::protocol_error: return "the port host sent an answer that does not fit the request";
            case DeviceErrc::refused: return "the port host refused the request";
            case DeviceErrc::invalid_argument: return "invalid buffer or field for this control call";
            case DeviceErrc::not_supported: return "the device does not support this control call";
            case DeviceErrc::not_open: return "the device is not open";
        }
        return "unknown device error";
    }
};

}  // namespace

const std::error_category& device_category() {
    static const DeviceCategory category;
    return category;
}

std::error_code make_error_code(DeviceErrc e) { return {static_cast<int>(e), device_category()}; }

}  // namespace qpx::devices
