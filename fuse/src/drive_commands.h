// The SCSI commands the view sends to a drive: readiness, the table of
// contents, and sector reads in transfers as large as the port host carries.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "cdrom/disc_source.h"
#include "cdrom/scsi_channel.h"

namespace qpx::fuse_view {

// The largest data transfer of one command through the port host.
inline constexpr std::size_t kMaxTransferBytes = 65536;

// Sectors of `form` that fit into one transfer.
std::uint32_t sectors_per_command(cdrom::SectorForm form);

std::array<std::uint8_t, 6> test_unit_ready_command();
// READ(10) of user data.
std::array<std::uint8_t, 10> read10_command(std::uint32_t lba, std::uint16_t count);
// READ CD of any sector type with sync, headers, user data and EDC/ECC:
// 2352 bytes a sector, audio sectors as they are.
std::array<std::uint8_t, 12> read_cd_command(std::uint32_t lba, std::uint32_t count);

cdrom::ScsiOutcome test_unit_ready(cdrom::ScsiChannel& channel);
// Reads at most sectors_per_command(form) sectors into `out`
// (count × sector_size(form) bytes).
cdrom::ScsiOutcome read_sectors(cdrom::ScsiChannel& channel, std::uint32_t lba, std::uint32_t count,
                                cdrom::SectorForm form, std::span<std::uint8_t> out);
// READ TOC; `parsed` tells whether a good answer could be read.
cdrom::ScsiOutcome read_toc(cdrom::ScsiChannel& channel, cdrom::Toc& out, bool& parsed);

}  // namespace qpx::fuse_view
