// Entry k of the drive list: entries are separated by ";" (writers end the
// list with one too), entry k names the container of drive k.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qpx::driver {

// The container path of drive `drive`; nothing when the entry is empty or
// the list ends before it.
std::optional<std::string> container_entry(std::string_view list, std::uint32_t drive);

}  // namespace qpx::driver
