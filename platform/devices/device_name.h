// Device names as the programs spell them: "\\.\Scsi1:" for a SCSI port,
// "\\.\G:" for the drive of a letter.
#pragma once

#include <optional>
#include <string_view>

namespace qpx::devices {

struct DeviceName {
    enum class Kind { port, drive } kind = Kind::port;
    int port = -1;     // port devices
    char letter = 0;   // drive devices, upper case
};

std::optional<DeviceName> parse_device_name(std::string_view name);

}  // namespace qpx::devices
