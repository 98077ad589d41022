// A disc in a drive that takes SCSI multimedia commands: READ(10) for user
// data, READ CD for 2352-byte sectors, READ TOC for the table of contents.
// The drive's sense data says why a command failed.
#pragma once

#include <memory>

#include "cdrom/disc_source.h"
#include "cdrom/scsi_channel.h"

namespace qpx::cdrom {

class MmcDiscSource final : public DiscSource {
public:
    explicit MmcDiscSource(std::unique_ptr<ScsiChannel> channel) : channel_(std::move(channel)) {}

    ReadStatus read(std::uint32_t lba, std::uint32_t count, SectorForm form, std::span<std::uint8_t> out) override;
    ReadStatus read_toc(Toc& out) override;
    std::string name() const override { return channel_->name(); }

private:
    ReadStatus read_chunk(std::uint32_t lba, std::uint32_t count, SectorForm form, std::span<std::uint8_t> out);

    std::unique_ptr<ScsiChannel> channel_;
};

// What a command's outcome means for a read.
ReadStatus read_status_of(const ScsiOutcome& outcome);

}  // namespace qpx::cdrom
