// Typed failures of container reading. Callers map them to their own answers
// (the emulated drive, for instance, to MEDIUM ERROR or NO SENSE).
#pragma once

#include <string>
#include <system_error>

namespace qpx::container {

enum class Errc {
    ok = 0,
    not_found,          // no such file, or the sector is not held by the container
    open_failed,        // the file exists but cannot be opened for reading
    bad_container,      // the file is not a container of a known layout, or exceeds its limits
    medium_error,       // stored data is unreadable or inconsistent (truncated, bad index, bad block)
    defective_sector,   // the sector was unreadable on the source disc (defect map)
    wrong_track_mode,   // the sector cannot give this kind of read (audio track, no user data)
    invalid_argument,   // a caller's buffer has the wrong size
};

const std::error_category& container_category() noexcept;

inline std::error_code make_error_code(Errc e) noexcept {
    return {static_cast<int>(e), container_category()};
}

}  // namespace qpx::container

template <>
struct std::is_error_code_enum<qpx::container::Errc> : std::true_type {};
