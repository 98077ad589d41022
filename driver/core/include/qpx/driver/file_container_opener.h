// Opens containers from the file system. The drive serves a container
// whatever the signature of its header says.
#pragma once

#include "qpx/driver/services.h"

namespace qpx::driver {

class FileContainerOpener final : public ContainerOpener {
public:
    std::error_code open(const std::string& path,
                         std::shared_ptr<const container::Container>& out) override;
};

}  // namespace qpx::driver
