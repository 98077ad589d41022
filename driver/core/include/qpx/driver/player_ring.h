// Command records in the player ring: the 16,384 bytes the player maps and
// polls. The ring starts with the signature "qpxmport" and a NUL, padded
// with 0xFE to offset 16; 113 slots of 144 bytes follow. A record's command
// word is stored last, with release ordering, after the 0xFE mark in the
// slot that follows it, so a reader that loads a command of 253 or less
// with acquire ordering sees the whole record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "qpx/driver/services.h"

namespace qpx::driver::player_ring {

inline constexpr std::size_t kSize = 16384;
inline constexpr std::size_t kFirstSlot = 16;
inline constexpr std::size_t kSlotSize = 144;
inline constexpr std::size_t kSlotCount = 113;
// A write offset at or beyond this value starts again at the first slot.
inline constexpr std::size_t kWrapLimit = 16240;
inline constexpr std::uint8_t kFill = 0xFE;
// A command word above this value marks an empty slot.
inline constexpr std::uint32_t kLastCommand = 253;

// Record fields (little-endian).
inline constexpr std::size_t kCommandField = 0;
inline constexpr std::size_t kUnitField = 4;
inline constexpr std::size_t kPathField = 8;
inline constexpr std::size_t kPathFieldSize = 128;
inline constexpr std::size_t kFrameOffsetField = 136;

// The offset of the slot after the one at `offset`.
constexpr std::size_t next_slot(std::size_t offset) {
    const std::size_t next = offset + kSlotSize;
    return next >= kWrapLimit ? kFirstSlot : next;
}

// Fills the ring with 0xFE, writes the signature and returns the first
// write offset (16).
std::size_t initialise(std::span<std::uint8_t> ring);

// Writes `command` into the slot at `write_offset` and moves the offset to
// the next slot. False (nothing written) when the ring is not 16,384 bytes,
// the offset is not a slot, or a play path does not fit its field with the
// NUL: a path is never cut.
bool write_record(std::span<std::uint8_t> ring, std::size_t& write_offset, const PlayerCommand& command);

// A PlayerChannel over a ring that this object alone writes.
class RingWriter final : public PlayerChannel {
public:
    explicit RingWriter(std::span<std::uint8_t> ring) : ring_(ring), write_offset_(initialise(ring)) {}
    void send(const PlayerCommand& command) override { write_record(ring_, write_offset_, command); }
    std::size_t write_offset() const { return write_offset_; }

private:
    std::span<std::uint8_t> ring_;
    std::size_t write_offset_;
};

}  // namespace qpx::driver::player_ring
