#include "ring_reader.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <string_view>

#include "byte_fields.h"

namespace qpx::player {
namespace {

using namespace ring_layout;

constexpr std::string_view kSignature{"qpxmport\0", 9};
constexpr std::size_t kUnitField = 4;
constexpr std::size_t kPathField = 8;
constexpr std::size_t kPathFieldSize = 128;
constexpr std::size_t kFrameOffsetField = 136;

// The command word of the slot at `offset`, read with acquire ordering.
std::uint32_t load_command(std::span<std::uint8_t> ring, std::size_t offset) {
    auto* word = reinterpret_cast<std::uint32_t*>(ring.data() + offset);
    const std::uint32_t raw = std::atomic_ref<std::uint32_t>(*word).load(std::memory_order_acquire);
    if constexpr (std::endian::native == std::endian::little) return raw;
    return ((raw & 0xFFu) << 24) | ((raw & 0xFF00u) << 8) | ((raw >> 8) & 0xFF00u) | (raw >> 24);
}

std::string path_field(std::span<const std::uint8_t> record) {
    const auto field = record.subspan(kPathField, kPathFieldSize);
    const auto nul = std::find(field.begin(), field.end(), std::uint8_t{0});
    if (nul == field.end()) return {};
    return std::string(field.begin(), nul);
}

}  // namespace

bool has_ring_signature(std::span<const std::uint8_t> ring) {
    return ring.size() == kSize && std::equal(kSignature.begin(), kSignature.end(), ring.begin());
}

std::vector<PlayerRecord> RingReader::take_available() {
    std::vector<PlayerRecord> records;
    if (ring_.size() != kSize) return records;
    while (records.size() < kSlotCount) {
        const std::uint32_t command = load_command(ring_, read_offset_);
        if (command > kLastCommand) break;
        const auto slot = std::span<const std::uint8_t>(ring_).subspan(read_offset_, kSlotSize);
        PlayerRecord r;
        r.command = command;
        r.unit = load_le32(slot, kUnitField);
        r.frame_offset = load_le32(slot, kFrameOffsetField);
        if (command == static_cast<std::uint32_t>(RecordCommand::play)) r.path = path_field(slot);
        records.push_back(std::move(r));
        read_offset_ += kSlotSize;
        if (read_offset_ >= kWrapLimit) read_offset_ = kFirstSlot;
    }
    return records;
}

}  // namespace qpx::player
