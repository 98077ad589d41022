// How many sectors a container's disc has: the number READ CAPACITY reports
// (plus one) and the bound of the reads that address sectors directly.
#pragma once

#include <cstdint>

#include "qpx/container/container.h"

namespace qpx::driver {

// For single-track containers total bytes / 2,048; for type 5 the highest
// track end over all tracks, the data session of a CD-Extra copy included
// (total bytes counts 2,352 bytes per audio sector and would misplace it);
// for types 2 and 3 the lead-out of the stored TOC.
std::int64_t disc_sector_count(const container::Container& medium);

}  // namespace qpx::driver
