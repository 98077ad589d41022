// Reading sectors of a disc the way the library's CD calls do, over any
// disc source: the read modes, retries of 2352-byte sectors, waiting for a
// disc to become readable, and finding where a data track ends.
#pragma once

#include <chrono>
#include <cstdint>

#include "cdrom/disc_source.h"

namespace qpx::lib {

// Read modes of the CD calls: 1 user data, 2 CD-DA, any other raw data.
cdrom::SectorForm sector_form_of_mode(int mode);
std::size_t sector_size_of_mode(int mode);

// User data in one read; 2352-byte sectors one at a time, each tried up to
// three times. A disc changed under the read ends it at once: sectors of
// two discs never come back as one successful read.
bool read_cd_sectors(cdrom::DiscSource& disc, std::uint32_t sector, std::uint32_t count, std::uint8_t* buffer,
                     int mode);

// Reads one sector until it succeeds or `attempts` reads failed, pausing
// `pause` between attempts. Returns the attempt that succeeded, 0 when none.
int read_with_patience(cdrom::DiscSource& disc, cdrom::Waiter& waiter, std::uint32_t sector, int mode, int attempts,
                       std::chrono::milliseconds pause);

// The end of a data track between `low` and `high` as QPXBinSrchSize
// defines it.
std::int32_t search_track_end(cdrom::DiscSource& disc, std::int32_t low, std::int32_t high, int mode);

}  // namespace qpx::lib
