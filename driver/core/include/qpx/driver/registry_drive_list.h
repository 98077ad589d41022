// The drive list as the library writes it: the value "ContainerFiles" of the
// local-machine key "SOFTWARE\Calder\Quoplex CD-ROM".
#pragma once

#include "qpx/driver/services.h"

namespace qpx::driver {

class RegistryDriveList final : public DriveListReader {
public:
    DriveListStatus read_container_files(std::string& text) override;
};

}  // namespace qpx::driver
