// The emulated drives among the machine's drive letters and SCSI ports.
// qpxmport serves up to 448 drives per port; its ports in ascending number
// order hold drives 0..447, 448..895 and so on.
#pragma once

#include <optional>
#include <vector>

#include "drives/drive_letters.h"

namespace qpx::lib {

inline constexpr int kDrivesPerPort = 448;

// Port numbers driven by qpxmport, ascending.
std::vector<int> port_host_ports();

struct VirtualLetter {
    char letter;
    int drive;  // drive number across all ports
};
// Letters of the emulated drives in letter order.
std::vector<VirtualLetter> virtual_letters(const std::vector<int>& ports);

// Drive number of a SCSI address on one of `ports`, or -1.
int drive_number(const std::vector<int>& ports, const drives::ScsiAddress& address);
// SCSI address of drive k (its port, bus k' / 8 + 1, target k' mod 8 with
// k' the drive's place on its port), when that port exists.
std::optional<drives::ScsiAddress> drive_address(const std::vector<int>& ports, int drive);

}  // namespace qpx::lib
