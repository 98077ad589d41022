#include "text_keys.h"

#include <algorithm>

namespace qpx::iscsi {

std::optional<std::vector<TextPair>> parse_text(std::span<const std::uint8_t> segment) {
    std::vector<TextPair> pairs;
    if (segment.empty()) return pairs;
    if (segment.back() != 0) return std::nullopt;
    auto at = segment.begin();
    while (at != segment.end()) {
        const auto end = std::find(at, segment.end(), std::uint8_t{0});
        const auto equals = std::find(at, end, std::uint8_t{'='});
        if (equals == end || equals == at) return std::nullopt;
        pairs.emplace_back(std::string(at, equals), std::string(equals + 1, end));
        at = end + 1;
    }
    return pairs;
}

void append_text(std::vector<std::uint8_t>& segment, const std::string& key, const std::string& value) {
    segment.insert(segment.end(), key.begin(), key.end());
    segment.push_back('=');
    segment.insert(segment.end(), value.begin(), value.end());
    segment.push_back(0);
}

std::optional<std::uint32_t> parse_number(const std::string& value, std::uint32_t max) {
    if (value.empty() || value.size() > 10) return std::nullopt;
    std::uint64_t n = 0;
    for (const char c : value) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (n > max) return std::nullopt;
    return static_cast<std::uint32_t>(n);
}

}  // namespace qpx::iscsi
