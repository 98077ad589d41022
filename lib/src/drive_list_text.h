// The per-drive container list: one entry per drive, each ended by ";".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qpx::lib {

// Entry k of the list. The text after the final ";" counts as one more
// (empty) entry; an entry beyond that does not exist.
std::optional<std::string_view> list_entry(std::string_view list, int k);

// Whether an entry names a container (at least two characters).
inline bool entry_is_mounted(std::string_view entry) { return entry.size() >= 2; }

// The list with exactly `drives` entries, taken from `old` (missing ones empty).
std::string rebuilt_list(std::string_view old, int drives);

}  // namespace qpx::lib
