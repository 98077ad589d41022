#include "qpx/container/track_node.h"

#include <algorithm>
#include <cstring>

#include "qpx/container/byte_order.h"

namespace qpx::container {
namespace {

constexpr std::size_t kOffStart = 0;
constexpr std::size_t kOffEnd = 4;
constexpr std::size_t kOffStorage = 8;
constexpr std::size_t kOffLocation = 9;

}  // namespace

bool TrackNode::is_unused() const {
    return start == 0 && end == 0 && storage == 0 &&
           std::all_of(location.begin(), location.end(), [](std::uint8_t b) { return b == 0; });
}

std::uint32_t TrackNode::data_offset() const { return load_le32(location, 0); }

void TrackNode::set_data_offset(std::uint32_t offset) {
    location.fill(0);
    store_le32(location, 0, offset);
}

std::string TrackNode::location_text() const {
    const auto* chars = reinterpret_cast<const char*>(location.data());
    return std::string(chars, ::strnlen(chars, location.size()));
}

void TrackNode::set_location_text(std::string_view name) {
    location.fill(0);
    // At most 127 bytes, never ending inside a UTF-8 sequence.
    std::size_t n = std::min(name.size(), location.size() - 1);
    if (n < name.size())
        while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) --n;
    std::memcpy(location.data(), name.data(), n);
}

std::optional<std::string> TrackNode::safe_wave_file_name() const {
    std::string name = location_text();
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\\') != std::string::npos)
        return std::nullopt;
    return name;
}

TrackNode parse_track_node(std::span<const std::uint8_t, kTrackNodeSize> r) {
    TrackNode node;
    node.start = load_le32(r, kOffStart);
    node.end = load_le32(r, kOffEnd);
    node.storage = r[kOffStorage];
    std::copy_n(r.begin() + kOffLocation, kNodeLocationSize, node.location.begin());
    return node;
}

void serialize_track_node(const TrackNode& node, std::span<std::uint8_t, kTrackNodeSize> r) {
    store_le32(r, kOffStart, node.start);
    store_le32(r, kOffEnd, node.end);
    r[kOffStorage] = node.storage;
    std::copy(node.location.begin(), node.location.end(), r.begin() + kOffLocation);
}

TrackTable parse_track_table(std::span<const std::uint8_t, kTrackTableSize> table) {
    TrackTable nodes;
    for (std::size_t i = 0; i < kTrackNodeCount; ++i)
        nodes[i] = parse_track_node(table.subspan(i * kTrackNodeSize).first<kTrackNodeSize>());
    return nodes;
}

void serialize_track_table(const TrackTable& nodes, std::span<std::uint8_t, kTrackTableSize> table) {
    for (std::size_t i = 0; i < kTrackNodeCount; ++i)
        serialize_track_node(nodes[i], table.subspan(i * kTrackNodeSize).first<kTrackNodeSize>());
}

}  // namespace qpx::container
