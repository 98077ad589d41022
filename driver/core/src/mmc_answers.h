// Small helpers shared by the MMC answers: the allocation length cut, the
// medium check and the refusal of a field the drive does not serve.
#pragma once

#include <cstdint>
#include <vector>

#include "qpx/driver/scsi_request.h"
#include "sense.h"

namespace qpx::driver {

inline SrbStatus invalid_field(ScsiRequest& request) {
    return check_condition(request, sense::kIllegalRequest, sense::kAscInvalidFieldInCdb);
}

inline SrbStatus no_medium(ScsiRequest& request) {
    return check_condition(request, sense::kNotReady, sense::kAscMediumNotPresent);
}

inline SrbStatus answer(ScsiRequest& request, const std::vector<std::uint8_t>& data, std::size_t allocation) {
    return answer_data(request, data.data(), data.size(), allocation);
}

}  // namespace qpx::driver
