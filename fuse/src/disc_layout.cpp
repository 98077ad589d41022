#include "disc_layout.h"

namespace qpx::fuse_view {
namespace {

// CONTROL bit 2 (the low half of the ADR/CONTROL byte): a data track.
constexpr std::uint8_t kDataTrackControl = 0x04;

}  // namespace

const TrackExtent* DiscLayout::data_track() const {
    for (const auto& t : tracks)
        if (!t.audio) return &t;
    return nullptr;
}

std::uint64_t DiscLayout::data_iso_bytes() const {
    const TrackExtent* data = data_track();
    return data ? std::uint64_t{data->readable} * cdrom::kUserDataSize : 0;
}

std::uint64_t DiscLayout::image_bin_bytes() const { return std::uint64_t{lead_out} * cdrom::kRawSectorSize; }

std::optional<DiscLayout> layout_of(const cdrom::Toc& toc) {
    DiscLayout layout;
    bool lead_out_seen = false;
    for (const auto& d : toc.descriptors) {
        if (d.track == cdrom::kLeadOutTrack) {
            layout.lead_out = d.address;
            lead_out_seen = true;
            break;
        }
        if (d.track == 0 || d.track > 99) return std::nullopt;
        TrackExtent t;
        t.number = d.track;
        t.audio = (d.adr_control & kDataTrackControl) == 0;
        t.start = d.address;
        layout.tracks.push_back(t);
    }
    if (!lead_out_seen || layout.tracks.empty()) return std::nullopt;
    for (std::size_t i = 0; i < layout.tracks.size(); ++i) {
        TrackExtent& t = layout.tracks[i];
        const std::uint32_t next = i + 1 < layout.tracks.size() ? layout.tracks[i + 1].start : layout.lead_out;
        if (next <= t.start || (i > 0 && t.start <= layout.tracks[i - 1].start)) return std::nullopt;
        t.sectors = next - t.start;
        t.readable = t.sectors;
    }
    return layout;
}

}  // namespace qpx::fuse_view
