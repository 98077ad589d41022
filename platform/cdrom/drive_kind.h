// What serves a CD-ROM drive letter, told by the device string the letter
// has in the drive-letter table.
#pragma once

#include <string_view>

namespace qpx::cdrom {

enum class DriveKind {
    Emulated,   // "qpxmport": served by the port host
    Physical,   // "/dev/...": a real drive
    Image,      // a .cue, .toc or .nrg disc image
    FaultPlan,  // a .qpxfaults plan: a disc image with faults
    Unknown,
};

inline constexpr std::string_view kEmulatedDevice = "qpxmport";

DriveKind kind_of_device(std::string_view device);
const char* to_string(DriveKind kind);

}  // namespace qpx::cdrom
