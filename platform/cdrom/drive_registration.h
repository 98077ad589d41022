// Giving CD-ROM drive letters to physical drives and disc images, and
// taking them back. Emulated drives belong to the port host and are left
// alone.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "drives/drive_letters.h"

namespace qpx::cdrom {

// Letters for physical drives and images are taken from here on.
inline constexpr char kFirstDiscLetter = 'D';

// Attaches a disc image (or a fault plan) as a read-only CD-ROM drive. The
// image must open and have a table of contents. Without a letter the first
// free one is taken. False with a reason when the image cannot be read, is
// attached already, or the letter is taken.
bool attach_image(const std::filesystem::path& image, std::optional<char> letter, char& attached,
                  std::string& error);

// Takes the letter of an attached image or a physical drive back.
bool detach_drive(char letter, std::string& error);

// The CD-ROM drives of the table, in letter order.
std::vector<drives::DriveEntry> cdrom_drives();

struct ScanResult {
    std::vector<drives::DriveEntry> added;
    std::vector<drives::DriveEntry> removed;  // drives no longer present
    std::vector<std::string> without_letter;  // no free letter was left
};

// Gives each of `devices` (e.g. /dev/sr0) a letter unless it has one, and
// takes back the letters of physical drives that are not among them.
ScanResult register_physical_drives(const std::vector<std::string>& devices);

// The physical CD-ROM drives of this machine, as libcdio finds them, each
// once (links such as /dev/cdrom resolved).
std::vector<std::string> physical_drive_devices();

}  // namespace qpx::cdrom
