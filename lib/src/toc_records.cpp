#include "toc_records.h"

#include "qpxdrv.h"

namespace qpx::lib {
namespace {

// A first-track byte a drive never reports: the answer did not arrive.
constexpr std::uint8_t kNoAnswer = 0xCC;
constexpr std::uint32_t kAddressMask = 0xFFFFFF;
constexpr std::uint8_t kDataTrackBit = 0x40;

std::uint8_t swap_nibbles(std::uint8_t b) { return static_cast<std::uint8_t>(b << 4 | b >> 4); }

}  // namespace

TocVerdict toc_info_from(const cdrom::Toc& toc, TocInfo& out) {
    out = TocInfo{};
    if (toc.first_track == kNoAnswer || toc.first_track == 0 || toc.last_track < toc.first_track)
        return TocVerdict::Unreadable;
    const int count = toc.last_track - toc.first_track + 1;
    if (count > QPX_TRACK_NODE_COUNT) return TocVerdict::TooManyTracks;

    bool lead_out_found = false;
    for (const cdrom::TocDescriptor& d : toc.descriptors) {
        if (d.track == cdrom::kLeadOutTrack) {
            out.lead_out = d.address & kAddressMask;
            lead_out_found = true;
            break;
        }
        if (out.tracks.size() == QPX_TRACK_NODE_COUNT) return TocVerdict::TooManyTracks;
        out.tracks.push_back({d.address & kAddressMask, swap_nibbles(d.adr_control)});
    }
    if (!lead_out_found || out.tracks.size() != static_cast<std::size_t>(count)) return TocVerdict::Unreadable;

    out.track_count = static_cast<std::uint16_t>(count);
    out.first_track = toc.first_track;
    out.last_track = toc.last_track;
    if (count > 1) {
        std::size_t first_data = out.tracks.size();
        for (std::size_t i = 0; i < out.tracks.size() && first_data == out.tracks.size(); ++i)
            if (out.tracks[i].control & kDataTrackBit) first_data = i;
        if (first_data == out.tracks.size() - 1) {
            out.first_track = out.last_track;
            out.last_track = static_cast<std::uint8_t>(out.last_track - 1);
        }
    }
    return TocVerdict::Ok;
}

std::string toc_text(const TocInfo& info) {
    std::string text;
    for (const TocTrackRecord& t : info.tracks) text += std::to_string(t.start) + " ";
    return text + std::to_string(info.lead_out);
}

}  // namespace qpx::lib
