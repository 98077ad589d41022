#include "sense.h"

#include <algorithm>

namespace qpx::driver {
namespace {

constexpr std::size_t kFixedSenseFields = 14;  // bytes 0..13 carry what the drives report

}  // namespace

SrbStatus check_condition(ScsiRequest& request, std::uint8_t key, std::uint8_t asc) {
    request.scsi_status = kScsiCheckCondition;
    if (request.sense.size() < kFixedSenseFields) return SrbStatus::error;
    auto& s = request.sense;
    s[0] = static_cast<std::uint8_t>(0x70 | (s[0] & 0x80));
    s[2] = static_cast<std::uint8_t>((s[2] & 0xF0) | (key & 0x0F));
    s[7] = 10;
    s[12] = asc;
    s[13] = 0;
    return SrbStatus::error_with_sense;
}

SrbStatus answer_data(ScsiRequest& request, const std::uint8_t* answer, std::size_t length,
                      std::size_t allocation) {
    const std::size_t n = std::min({length, allocation, request.data.size()});
    std::copy_n(answer, n, request.data.begin());
    request.transferred = n;
    return SrbStatus::success;
}

}  // namespace qpx::driver
