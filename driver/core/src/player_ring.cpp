#include "qpx/driver/player_ring.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <string_view>

#include "qpx/container/byte_order.h"

namespace qpx::driver::player_ring {
namespace {

constexpr std::string_view kSignature{"qpxmport\0", 9};
constexpr std::uint32_t kEmptyWord = 0xFEFEFEFEu;

// The 32-bit word whose bytes in memory are `value` in little-endian order.
std::uint32_t little_endian_word(std::uint32_t value) {
    if constexpr (std::endian::native == std::endian::little) return value;
    return ((value & 0xFFu) << 24) | ((value & 0xFF00u) << 8) | ((value >> 8) & 0xFF00u) | (value >> 24);
}

// Command words are 4-byte aligned (slots start at 16 + 144 i in a mapping
// that starts on a page), so they can be stored as one atomic word.
void store_command_word(std::span<std::uint8_t> ring, std::size_t at, std::uint32_t value) {
    auto* word = reinterpret_cast<std::uint32_t*>(ring.data() + at);
    std::atomic_ref<std::uint32_t>(*word).store(little_endian_word(value), std::memory_order_release);
}

bool is_slot(std::size_t offset) {
    return offset >= kFirstSlot && offset < kWrapLimit && (offset - kFirstSlot) % kSlotSize == 0;
}

}  // namespace

std::size_t initialise(std::span<std::uint8_t> ring) {
    std::fill(ring.begin(), ring.end(), kFill);
    std::copy(kSignature.begin(), kSignature.end(), ring.begin());
    std::atomic_thread_fence(std::memory_order_release);
    return kFirstSlot;
}

bool write_record(std::span<std::uint8_t> ring, std::size_t& write_offset, const PlayerCommand& command) {
    if (ring.size() != kSize || !is_slot(write_offset)) return false;
    const bool play = command.code == PlayerCommandCode::play;
    if (play && command.wave_path.size() >= kPathFieldSize) return false;

    const std::size_t slot = write_offset;
    write_offset = next_slot(slot);
    store_command_word(ring, write_offset + kCommandField, kEmptyWord);

    const auto record = ring.subspan(slot, kSlotSize);
    container::store_le32(record, kUnitField, command.unit);
    if (play) {
        const auto path = record.subspan(kPathField, kPathFieldSize);
        std::fill(path.begin(), path.end(), 0);
        std::copy(command.wave_path.begin(), command.wave_path.end(), path.begin());
    }
    container::store_le32(record, kFrameOffsetField, play ? command.frame_offset : 0);
    store_command_word(ring, slot + kCommandField, static_cast<std::uint32_t>(command.code));
    return true;
}

}  // namespace qpx::driver::player_ring
