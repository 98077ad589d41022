#include "qpx/driver/file_container_opener.h"

namespace qpx::driver {

std::error_code FileContainerOpener::open(const std::string& path,
                                          std::shared_ptr<const container::Container>& out) {
    container::OpenOptions options;
    options.check_signature = false;
    return container::Container::open(path, out, options);
}

}  // namespace qpx::driver
