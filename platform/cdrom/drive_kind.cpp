#include "cdrom/drive_kind.h"

#include <filesystem>

#include "cdrom/cdio_image_source.h"
#include "cdrom/fault_plan.h"

namespace qpx::cdrom {

DriveKind kind_of_device(std::string_view device) {
    if (device == kEmulatedDevice) return DriveKind::Emulated;
    if (device.starts_with("/dev/")) return DriveKind::Physical;
    const std::filesystem::path path{std::string(device)};
    if (is_fault_plan_path(path)) return DriveKind::FaultPlan;
    if (CdioImageSource::is_image_path(path)) return DriveKind::Image;
    return DriveKind::Unknown;
}

const char* to_string(DriveKind kind) {
    switch (kind) {
    case DriveKind::Emulated: return "emulated";
    case DriveKind::Physical: return "physical";
    case DriveKind::Image: return "image";
    case DriveKind::FaultPlan: return "image with faults";
    case DriveKind::Unknown: return "unknown";
    }
    return "unknown";
}

}  // namespace qpx::cdrom
