// A drive's table of contents turned into what the library's TOC calls
// return: the track count, the summary (first track, last track, lead-out)
// and one record per track, and the TOC text that names a disc.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cdrom/disc_source.h"

namespace qpx::lib {

struct TocTrackRecord {
    std::uint32_t start = 0;
    std::uint8_t control = 0;  // CONTROL in the high half, ADR in the low half; 0x40 = data
};

struct TocInfo {
    std::uint16_t track_count = 0;
    std::uint8_t first_track = 0;
    std::uint8_t last_track = 0;
    std::uint32_t lead_out = 0;
    std::vector<TocTrackRecord> tracks;
};

enum class TocVerdict {
    Ok,
    Unreadable,     // no answer, an empty answer, or one that contradicts itself
    TooManyTracks,  // more tracks than the 70 records callers provide
};

// Reads the summary and the records out of a drive's TOC. A disc whose
// only data track is its last (an audio session and a data session) gets
// first track = that track and last track = the one before it.
TocVerdict toc_info_from(const cdrom::Toc& toc, TocInfo& out);

// The starts of all tracks and the lead-out, in decimal, one blank apart.
std::string toc_text(const TocInfo& info);

}  // namespace qpx::lib
