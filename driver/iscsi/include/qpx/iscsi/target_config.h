// What the target serves and to whom: the address to listen on, the drives
// it offers as targets and the CHAP credentials initiators must present.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qpx::iscsi {

// One target per offered drive, named "<prefix>:drive-<letter>".
struct OfferedDrive {
    std::uint32_t drive = 0;  // drive index handed to the CommandRunner
    char letter = 'g';        // lower-case drive letter of the target name
};

// One-way CHAP with MD5: the initiator proves it knows `secret`.
struct ChapCredentials {
    std::string user;
    std::string secret;  // at least 12 bytes for listeners beyond loopback
};

struct TargetConfig {
    std::string address = "127.0.0.1";  // IPv4 address to listen on
    std::uint16_t port = 3260;          // 0 picks a free port
    std::string name_prefix = "iqn.2026-12.org.quoplex";
    std::vector<OfferedDrive> drives;
    std::optional<ChapCredentials> chap;  // required of every login when set
};

// The target name of `drive` under `prefix`.
std::string target_name(const std::string& prefix, const OfferedDrive& drive);

// Why a configuration cannot be served, or an empty string when it can:
// listening beyond 127.0.0.1 needs CHAP credentials, letters are a..z and
// unique, the address is a dotted IPv4 address.
std::string config_problem(const TargetConfig& config);

}  // namespace qpx::iscsi
