// MECHANISM STATUS: one drive without a changer, idle, tray closed.
#include "be_fields.h"
#include "commands.h"
#include "mmc_answers.h"

namespace qpx::driver {

SrbStatus mechanism_status(ScsiRequest& request) {
    const std::vector<std::uint8_t> data(8, 0);  // no fault, idle, LBA 0, no slots
    return answer(request, data, load_be16(request.cdb, 8));
}

}  // namespace qpx::driver
