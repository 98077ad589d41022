#include "toc_builder.h"

#include <algorithm>
#include <span>

#include "be_fields.h"
#include "msf.h"
#include "qpx/container/format.h"

namespace qpx::driver {
namespace {

using container::ContainerType;
using container::Header;

constexpr std::uint8_t kSingleTrackAdrControl = 0x14;  // ADR 1, data track
constexpr std::size_t kTocHeaderSize = 4;
constexpr std::size_t kDescriptorSize = 8;
constexpr std::size_t kStoredDescriptors = 100;

TocModel single_track_toc(const Header& h) {
    TocModel toc;
    toc.tracks.push_back({kSingleTrackAdrControl, 1, address_from_lba(0)});
    toc.lead_out = TocDescriptor{kSingleTrackAdrControl, kLeadOutTrack,
                                 address_from_lba(h.total_bytes / container::kUserSectorSize)};
    return toc;
}

// The track entries of the header up to the first one whose control byte is
// 0, numbered from 1; the lead-out takes the last listed entry's control.
TocModel track_table_toc(const Header& h) {
    TocModel toc;
    toc.first_track = h.first_track;
    toc.last_track = h.last_track;
    if (h.is_two_session()) {
        toc.first_track = 1;
        toc.last_track = h.first_track;
    }
    std::uint8_t last_control = 0;
    for (std::size_t i = 0; i < h.tracks.size() && h.tracks[i].control != 0; ++i) {
        last_control = h.tracks[i].control;
        toc.tracks.push_back({swap_nibbles(last_control), static_cast<std::uint8_t>(i + 1),
                              address_from_packed_msf(h.tracks[i].address)});
    }
    toc.lead_out = TocDescriptor{swap_nibbles(last_control), kLeadOutTrack, address_from_packed_msf(h.lead_out)};
    return toc;
}

// The stored READ TOC answer (format 0, MSF addresses) of types 2 and 3.
TocModel stored_toc(std::span<const std::uint8_t> stored) {
    TocModel toc;
    toc.first_track = stored[2];
    toc.last_track = stored[3];
    const std::size_t length = load_be16(stored, 0);
    const std::size_t count =
        std::min(length >= 2 ? (length - 2) / kDescriptorSize : 0, kStoredDescriptors);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = kTocHeaderSize + i * kDescriptorSize;
        TocDescriptor d{stored[at + 1], stored[at + 2], address_from_packed_msf(load_be24(stored, at + 5))};
        if (d.track == kLeadOutTrack)
            toc.lead_out = d;
        else
            toc.tracks.push_back(d);
    }
    return toc;
}

void put_descriptor(std::vector<std::uint8_t>& out, const TocDescriptor& d, bool msf) {
    const std::size_t at = out.size();
    out.resize(at + kDescriptorSize, 0);
    const std::span<std::uint8_t> bytes(out);
    bytes[at + 1] = d.adr_control;
    bytes[at + 2] = d.track;
    if (msf) {
        const Msf m = unpack_msf(d.address.packed_msf);
        bytes[at + 5] = static_cast<std::uint8_t>(m.minute);
        bytes[at + 6] = m.second;
        bytes[at + 7] = m.frame;
    } else {
        store_be32(bytes, at + 4, static_cast<std::uint32_t>(d.address.lba));
    }
}

}  // namespace

TocAddress address_from_lba(std::int64_t lba) { return {packed_msf_of_lba(lba), lba}; }

TocAddress address_from_packed_msf(std::uint32_t packed) { return {packed & 0x00FFFFFF, lba_of_packed_msf(packed)}; }

std::optional<TocModel> build_toc(const container::Container& medium) {
    const Header& h = medium.header();
    switch (h.container_type()) {
        case ContainerType::plain:
        case ContainerType::normal_blocks:
        case ContainerType::maximal_blocks: return single_track_toc(h);
        case ContainerType::toc_plain:
        case ContainerType::toc_normal_blocks:
            if (medium.stored_toc().size() < container::kStoredTocSize) return std::nullopt;
            return stored_toc(medium.stored_toc());
        case ContainerType::track_table: return track_table_toc(h);
    }
    return std::nullopt;
}

SessionModel build_sessions(const container::Container& medium, const TocModel& toc) {
    SessionModel sessions;
    const Header& h = medium.header();
    if (h.container_type() == ContainerType::track_table && h.is_two_session()) {
        sessions.last_session = 2;
        const std::size_t i = h.first_track - 1u;
        if (i < h.tracks.size())
            sessions.first_track_of_last_session =
                TocDescriptor{swap_nibbles(h.tracks[i].control), h.first_track,
                              address_from_packed_msf(h.tracks[i].address)};
        return sessions;
    }
    if (!toc.tracks.empty()) sessions.first_track_of_last_session = toc.tracks.front();
    return sessions;
}

bool encode_toc(const TocModel& toc, bool msf, std::uint8_t starting_track, std::vector<std::uint8_t>& out) {
    out.assign(kTocHeaderSize, 0);
    out[2] = toc.first_track;
    out[3] = toc.last_track;
    bool any = false;
    if (starting_track != kLeadOutTrack) {
        for (const TocDescriptor& d : toc.tracks) {
            if (d.track < starting_track) continue;
            put_descriptor(out, d, msf);
            any = true;
        }
    }
    const bool wants_lead_out_only = starting_track == kLeadOutTrack;
    if (!any && !wants_lead_out_only && starting_track > 1) return false;
    if (toc.lead_out) put_descriptor(out, *toc.lead_out, msf);
    store_be16(out, 0, static_cast<std::uint16_t>(out.size() - 2));
    return true;
}

void encode_sessions(const SessionModel& sessions, bool msf, std::vector<std::uint8_t>& out) {
    out.assign(kTocHeaderSize, 0);
    out[2] = sessions.first_session;
    out[3] = sessions.last_session;
    put_descriptor(out, sessions.first_track_of_last_session.value_or(TocDescriptor{}), msf);
    store_be16(out, 0, static_cast<std::uint16_t>(out.size() - 2));
}

}  // namespace qpx::driver
