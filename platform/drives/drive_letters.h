// The machine's drive letters: which letters exist, what kind of drive each
// is, and the SCSI address of those on a SCSI port. The table lives in the
// machine hive; the port host publishes its emulated drives here, physical
// CD drives and attached disc images get letters the same way, and the
// library finds its drives among them. Also the SCSI port map
// (HARDWARE\DEVICEMAP\Scsi) that names the driver of each port.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry/registry.h"

namespace qpx::drives {

inline constexpr std::string_view kDriveLetterKey = "SYSTEM\\DriveLetters";
inline constexpr std::string_view kScsiPortMapKey = "HARDWARE\\DEVICEMAP\\Scsi";

enum class DriveType : std::uint32_t {
    Unknown = 0,
    NoRootDir = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CdRom = 5,
    RamDisk = 6,
};

struct ScsiAddress {
    std::uint8_t port = 0;
    std::uint8_t path_id = 0;  // bus
    std::uint8_t target = 0;
    std::uint8_t lun = 0;
    bool operator==(const ScsiAddress&) const = default;
};

struct DriveEntry {
    char letter = 0;  // 'A'..'Z'
    DriveType type = DriveType::Unknown;
    std::optional<ScsiAddress> scsi;
    std::string device;  // what serves the letter: "qpxmport", /dev/sr0, an image path
};

// Upper-cases a letter; 0 when it is not A..Z.
char normalise_letter(char letter);

// One bit per existing letter, bit 0 = A (GetLogicalDrives).
std::uint32_t logical_drives();
DriveType drive_type(char letter);
std::optional<ScsiAddress> scsi_address(char letter);
std::optional<DriveEntry> entry(char letter);
// Every letter in letter order.
std::vector<DriveEntry> all_entries();

// Publishing (the port host, the disc-attach command).
reg::Status publish(const DriveEntry& drive);
reg::Status withdraw(char letter);
// First letter at or after `from` that is not in use, if any.
std::optional<char> first_free_letter(char from = 'G');

// SCSI port map: subkey "Scsi Port <n>" with value "Driver".
reg::Status publish_scsi_port(int port, std::string_view driver);
reg::Status withdraw_scsi_port(int port);
// Port numbers and their drivers, in the map's enumeration order.
struct ScsiPort {
    int number = -1;
    std::string driver;
};
std::vector<ScsiPort> scsi_ports();

}  // namespace qpx::drives
