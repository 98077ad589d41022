// A way to send SCSI commands with data-in to a CD-ROM drive and get its
// status and sense back: SG_IO on a physical drive, the port host's
// pass-through for an emulated one.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

namespace qpx::cdrom {

struct ScsiOutcome {
    bool delivered = false;        // the command reached the drive and came back
    std::uint8_t scsi_status = 0;  // 0 GOOD, 2 CHECK CONDITION
    std::uint8_t sense_key = 0;
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;

    bool good() const { return delivered && scsi_status == 0; }
};

class ScsiChannel {
public:
    virtual ~ScsiChannel() = default;
    virtual ScsiOutcome execute_in(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data,
                                   std::chrono::milliseconds timeout) = 0;
    virtual std::string name() const = 0;
};

}  // namespace qpx::cdrom
