// Text key=value pairs of login and text PDUs, each ended by a NUL byte.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace qpx::iscsi {

using TextPair = std::pair<std::string, std::string>;

// The pairs of a data segment in their order; nullopt when a pair has no
// "=", an empty key, or the segment does not end with NUL.
std::optional<std::vector<TextPair>> parse_text(std::span<const std::uint8_t> segment);

// Appends "key=value\0".
void append_text(std::vector<std::uint8_t>& segment, const std::string& key, const std::string& value);

// A decimal value of at most `max`; nullopt for anything else.
std::optional<std::uint32_t> parse_number(const std::string& value, std::uint32_t max = 0xFFFFFFFF);

}  // namespace qpx::iscsi
