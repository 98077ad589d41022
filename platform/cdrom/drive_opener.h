// Opens the disc behind a CD-ROM drive letter: the drive-letter table says
// what serves the letter, and each kind has its source.
#pragma once

#include <memory>
#include <string>

#include "cdrom/disc_source.h"

namespace qpx::cdrom {

struct OpenedDrive {
    std::unique_ptr<DiscSource> disc;
    std::unique_ptr<Waiter> waiter;  // how to pause between attempts on it
};

// False with a reason in `error` when the letter is no CD-ROM drive or what
// serves it cannot be opened.
bool open_drive(char letter, OpenedDrive& out, std::string& error);

// The same by device string (a /dev path, an image, a fault plan).
bool open_device(const std::string& device, OpenedDrive& out, std::string& error);

}  // namespace qpx::cdrom
