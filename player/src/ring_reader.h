// Reads the command records the port host writes into the player ring.
//
// Layout: "qpxmport", a NUL and 0xFE bytes up to offset 16, then 113 slots of
// 144 bytes. Record (little-endian): command word at 0 (0 play, 1 stop,
// 2 pause, 3 resume; above 253 the slot is empty), unit number at 4, the
// wave path (NUL-terminated, 128 bytes) at 8, frame offset at 136. The
// command word is loaded with acquire ordering: the writer stores it last.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qpx::player {

enum class RecordCommand : std::uint32_t { play = 0, stop = 1, pause = 2, resume = 3 };

struct PlayerRecord {
    std::uint32_t command = 0;  // RecordCommand, or another value the player ignores
    std::uint32_t unit = 0;
    std::string path;           // play only; empty when the field holds no NUL
    std::uint32_t frame_offset = 0;
};

namespace ring_layout {
inline constexpr std::size_t kSize = 16384;
inline constexpr std::size_t kFirstSlot = 16;
inline constexpr std::size_t kSlotSize = 144;
inline constexpr std::size_t kSlotCount = 113;
inline constexpr std::size_t kWrapLimit = 16240;
inline constexpr std::uint32_t kLastCommand = 253;
}  // namespace ring_layout

// True when the ring is 16,384 bytes and starts with "qpxmport" and a NUL.
bool has_ring_signature(std::span<const std::uint8_t> ring);

class RingReader {
public:
    // `ring` must be 16,384 bytes that stay mapped while the reader lives.
    explicit RingReader(std::span<std::uint8_t> ring) : ring_(ring) {}

    // Every record written since the last call, oldest first; stops at the
    // first empty slot and after at most one lap of the ring.
    std::vector<PlayerRecord> take_available();
    std::size_t read_offset() const { return read_offset_; }

private:
    std::span<std::uint8_t> ring_;
    std::size_t read_offset_ = ring_layout::kFirstSlot;
};

}  // namespace qpx::player
