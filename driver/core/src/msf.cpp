#include "msf.h"

namespace qpx::driver {

std::uint32_t packed_msf_of_lba(std::int64_t lba) {
    const std::int64_t frames = lba + kLbaZeroFrames;
    const Msf m = msf_of_frames(frames < 0 ? 0 : static_cast<std::uint64_t>(frames));
    return ((m.minute & 0xFF) << 16) | (std::uint32_t{m.second} << 8) | m.frame;
}

}  // namespace qpx::driver
