// SCSI commands to a physical drive (/dev/sr*) through libcdio's SG_IO path.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "cdrom/scsi_channel.h"

typedef struct _CdIo CdIo_t;

namespace qpx::cdrom {

class CdioDeviceChannel final : public ScsiChannel {
public:
    // Opens the drive; null with a reason in `error` when it cannot be opened.
    static std::unique_ptr<CdioDeviceChannel> open(const std::string& device, std::string& error);
    ~CdioDeviceChannel() override;
    CdioDeviceChannel(const CdioDeviceChannel&) = delete;
    CdioDeviceChannel& operator=(const CdioDeviceChannel&) = delete;

    ScsiOutcome execute_in(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data,
                           std::chrono::milliseconds timeout) override;
    std::string name() const override { return device_; }

private:
    CdioDeviceChannel(CdIo_t* cdio, std::string device) : cdio_(cdio), device_(std::move(device)) {}
    CdIo_t* cdio_;
    std::string device_;
};

}  // namespace qpx::cdrom
