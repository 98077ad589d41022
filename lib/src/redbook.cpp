// Disc addresses: sector numbers (LBA) and packed minute/second/frame.
#include "qpxdrv.h"

namespace {
constexpr int32_t kLeadIn = 150;  // LBA 0 is 00:02:00
constexpr int32_t kFramesPerSecond = 75;
constexpr int32_t kFramesPerMinute = 60 * kFramesPerSecond;
}  // namespace

extern "C" {

uint32_t QPXCvtToRedbook(int32_t lba) {
    // Addresses before the disc's start have no time; they map to 00:00:00.
    const int64_t frames = static_cast<int64_t>(lba) + kLeadIn;
    if (frames < 0) return 0;
    const uint32_t minute = static_cast<uint32_t>(frames / kFramesPerMinute) & 0xFF;
    const uint32_t second = static_cast<uint32_t>((frames / kFramesPerSecond) % 60);
    const uint32_t frame = static_cast<uint32_t>(frames % kFramesPerSecond);
    return minute << 16 | second << 8 | frame;
}

int32_t QPXCvtFromRedbook(uint32_t msf) {
    const int32_t minute = static_cast<int32_t>((msf >> 16) & 0xFF);
    const int32_t second = static_cast<int32_t>((msf >> 8) & 0xFF);
    const int32_t frame = static_cast<int32_t>(msf & 0xFF);
    return minute * kFramesPerMinute + second * kFramesPerSecond + frame - kLeadIn;
}

}  // extern "C"
