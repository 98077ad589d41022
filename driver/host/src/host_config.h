// The port host's configuration, read once at start from the values under
// its service key, as the driver reads them at boot.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qpx::host {

inline constexpr const char* kServiceKey = "SYSTEM\\CurrentControlSet\\Services\\qpxmport";

// More drives than this would need more SCSI ports than a machine numbers;
// such a count is a typing error, not a configuration.
inline constexpr std::uint32_t kMaxDrives = 448 * 16;

struct HostConfig {
    std::uint32_t drive_count = 0;         // NumberofCDROMs
    std::uint32_t buffer_sets = 10;        // SizeofBufPool as configured; the core clamps it
    char first_letter = 'G';               // FirstDriveLetter: letters are given from here on
};

// Reads the configuration. Empty with `error` set when the host cannot run
// with it (no drives, too many drives, no usable store).
std::optional<HostConfig> read_host_config(std::string& error);

}  // namespace qpx::host
