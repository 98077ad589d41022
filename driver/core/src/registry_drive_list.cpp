#include "qpx/driver/registry_drive_list.h"

#include "registry/registry.h"

namespace qpx::driver {
namespace {

constexpr std::string_view kProductKey = "SOFTWARE\\Calder\\Quoplex CD-ROM";
constexpr std::string_view kDriveListValue = "ContainerFiles";

}  // namespace

DriveListStatus RegistryDriveList::read_container_files(std::string& text) {
    text.clear();
    switch (reg::read_string(reg::Hive::LocalMachine, kProductKey, kDriveListValue, text)) {
        case reg::kSuccess: return DriveListStatus::ok;
        case reg::kFileNotFound: return DriveListStatus::missing;
        default: text.clear(); return DriveListStatus::unreadable;
    }
}

}  // namespace qpx::driver
