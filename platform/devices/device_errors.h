// Why a device could not be opened or a control call failed.
#pragma once

#include <system_error>

namespace qpx::devices {

enum class DeviceErrc {
    invalid_name = 1,      // not "\\.\ScsiN:" or "\\.\X:"
    no_such_device,        // no such letter or port
    not_served,            // the letter is another kind of drive (a disk, a physical CD drive)
    host_not_running,      // the port host's socket does not answer
    connection_lost,       // the port host went away during the call
    protocol_error,        // the port host answered something that does not fit the request
    refused,               // the port host refused the request (see the log for why)
    invalid_argument,      // a buffer or field the call cannot carry
    not_supported,         // the device does not answer this control call
    not_open,
};

const std::error_category& device_category();
std::error_code make_error_code(DeviceErrc e);

}  // namespace qpx::devices

template <>
struct std::is_error_code_enum<qpx::devices::DeviceErrc> : std::true_type {};
