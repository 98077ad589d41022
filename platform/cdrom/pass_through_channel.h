// SCSI commands to an emulated drive of the port host, sent by SCSI
// pass-through to the drive's device ("\\.\G:").
#pragma once

#include <memory>
#include <string>

#include "cdrom/scsi_channel.h"
#include "devices/device.h"

namespace qpx::cdrom {

class PassThroughChannel final : public ScsiChannel {
public:
    // Opens the drive of the letter; null with a reason in `error` when the
    // port host does not serve it. `retry` as the device layer takes it.
    static std::unique_ptr<PassThroughChannel> open(char letter, const devices::OpenRetry& retry, std::string& error);

    ScsiOutcome execute_in(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data,
                           std::chrono::milliseconds timeout) override;
    std::string name() const override { return std::string(1, letter_) + ": (emulated)"; }

private:
    PassThroughChannel(devices::Device device, char letter) : device_(std::move(device)), letter_(letter) {}
    devices::Device device_;
    char letter_;
};

}  // namespace qpx::cdrom
