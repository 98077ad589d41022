#include "cdrom/cdio_device_channel.h"

#include <cdio/cdio.h>
#include <cdio/mmc.h>

#include <algorithm>
#include <cstring>

#include "cdrom/cdio_quiet.h"

namespace qpx::cdrom {

std::unique_ptr<CdioDeviceChannel> CdioDeviceChannel::open(const std::string& device, std::string& error) {
    quiet_libcdio();
    CdIo_t* cdio = cdio_open(device.c_str(), DRIVER_LINUX);
    if (!cdio) {
        error = device + ": the drive cannot be opened";
        return nullptr;
    }
    return std::unique_ptr<CdioDeviceChannel>(new CdioDeviceChannel(cdio, device));
}

CdioDeviceChannel::~CdioDeviceChannel() { cdio_destroy(cdio_); }

ScsiOutcome CdioDeviceChannel::execute_in(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data,
                                          std::chrono::milliseconds timeout) {
    ScsiOutcome outcome;
    mmc_cdb_t block{};
    const std::size_t length = std::min(cdb.size(), sizeof(block.field));
    std::memcpy(block.field, cdb.data(), length);
    const driver_return_code_t rc =
        mmc_run_cmd_len(cdio_, static_cast<unsigned>(timeout.count()), &block, static_cast<unsigned>(length),
                        SCSI_MMC_DATA_READ, static_cast<unsigned>(data.size()), data.data());
    if (rc == DRIVER_OP_SUCCESS) {
        outcome.delivered = true;
        return outcome;
    }
    // Fixed-format sense data, read as bytes: key in byte 2, ASC and ASCQ
    // in bytes 12 and 13.
    cdio_mmc_request_sense_t* sense = nullptr;
    const int sense_length = mmc_last_cmd_sense(cdio_, &sense);
    if (sense_length >= 14 && sense) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(sense);
        outcome.delivered = true;
        outcome.scsi_status = 2;  // CHECK CONDITION
        outcome.sense_key = bytes[2] & 0x0F;
        outcome.asc = bytes[12];
        outcome.ascq = bytes[13];
    }
    cdio_free(sense);
    return outcome;
}

}  // namespace qpx::cdrom
