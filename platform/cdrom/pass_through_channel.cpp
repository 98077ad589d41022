#include "cdrom/pass_through_channel.h"

#include <algorithm>
#include <array>

namespace qpx::cdrom {

std::unique_ptr<PassThroughChannel> PassThroughChannel::open(char letter, const devices::OpenRetry& retry,
                                                             std::string& error) {
    const std::string name = std::string("\\\\.\\") + letter + ":";
    devices::Device device;
    if (std::error_code ec = devices::Device::open(name, device, retry)) {
        error = std::string(1, letter) + ": the emulated drive cannot be reached (" + ec.message() + ")";
        return nullptr;
    }
    return std::unique_ptr<PassThroughChannel>(new PassThroughChannel(std::move(device), letter));
}

ScsiOutcome PassThroughChannel::execute_in(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data,
                                           std::chrono::milliseconds timeout) {
    std::array<std::uint8_t, 24> sense{};
    devices::PassThroughDirect request;
    request.cdb = cdb;
    request.direction = devices::DataDirection::in;
    request.data = data;
    request.sense = sense;
    request.timeout_seconds = static_cast<std::uint32_t>(std::max<long long>(1, (timeout.count() + 999) / 1000));
    ScsiOutcome outcome;
    if (device_.pass_through_direct(request)) return outcome;  // not delivered
    outcome.delivered = true;
    outcome.scsi_status = request.scsi_status;
    if (request.srb_status != devices::kSrbSuccess && outcome.scsi_status == 0) outcome.scsi_status = 2;
    // A good status with fewer bytes than asked for is no good read.
    if (outcome.scsi_status == 0 && request.transferred < data.size() && data.size() != 0 && cdb[0] != 0x43)
        outcome.scsi_status = 2;
    if (request.sense_returned >= 14) {
        // Fixed-format sense data: key in byte 2, ASC and ASCQ in bytes 12 and 13.
        outcome.sense_key = sense[2] & 0x0F;
        outcome.asc = sense[12];
        outcome.ascq = sense[13];
    }
    return outcome;
}

}  // namespace qpx::cdrom
