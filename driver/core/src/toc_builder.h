// The table of contents of a container, as the drive reports it: built from
// the header (single-track and type-5 containers) or the stored TOC (types 2
// and 3), and encoded as a READ TOC answer in MSF or LBA form.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "qpx/container/container.h"

namespace qpx::driver {

inline constexpr std::uint8_t kLeadOutTrack = 0xAA;

struct TocAddress {
    std::uint32_t packed_msf = 0;
    std::int64_t lba = 0;
};
TocAddress address_from_lba(std::int64_t lba);
TocAddress address_from_packed_msf(std::uint32_t packed);

struct TocDescriptor {
    std::uint8_t adr_control = 0;  // ADR high nibble, CONTROL low nibble
    std::uint8_t track = 0;
    TocAddress address;
};

struct TocModel {
    std::uint8_t first_track = 1;
    std::uint8_t last_track = 1;
    std::vector<TocDescriptor> tracks;  // in order; the lead-out is kept apart
    std::optional<TocDescriptor> lead_out;
};

struct SessionModel {
    std::uint8_t first_session = 1;
    std::uint8_t last_session = 1;
    std::optional<TocDescriptor> first_track_of_last_session;
};

// Stored control bytes carry CONTROL high and ADR low; answers swap them.
constexpr std::uint8_t swap_nibbles(std::uint8_t b) { return static_cast<std::uint8_t>((b << 4) | (b >> 4)); }

// The TOC of an open container; none for container types without one.
std::optional<TocModel> build_toc(const container::Container& medium);

// Sessions: the two-session layout has the data track of session 2 apart;
// every other container is one session.
SessionModel build_sessions(const container::Container& medium, const TocModel& toc);

// READ TOC format 0: header and descriptors from `starting_track` on (0 and 1:
// all; 0xAA: the lead-out only), addresses as MSF or LBA. False when no
// descriptor has a track number that high.
bool encode_toc(const TocModel& toc, bool msf, std::uint8_t starting_track, std::vector<std::uint8_t>& out);

// READ TOC format 1: 12 bytes of session information.
void encode_sessions(const SessionModel& sessions, bool msf, std::vector<std::uint8_t>& out);

}  // namespace qpx::driver
