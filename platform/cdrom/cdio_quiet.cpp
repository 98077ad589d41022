#include "cdrom/cdio_quiet.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>

#include <mutex>

namespace qpx::cdrom {
namespace {
void drop_message(cdio_log_level_t, const char*) {}
}  // namespace

void quiet_libcdio() {
    static std::once_flag once;
    std::call_once(once, [] { cdio_log_set_handler(drop_message); });
}

}  // namespace qpx::cdrom
