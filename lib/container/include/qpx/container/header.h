// The 512-byte header block: layout fields, description, signature and the
// mini-TOC (first/last track, lead-out, 70 track entries).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "qpx/container/format.h"

namespace qpx::container {

struct TrackEntry {
    std::uint32_t address = 0x00000200;  // packed MSF; plain sector 16 in single-track containers
    std::uint8_t control = 0;            // CONTROL high nibble, ADR low nibble; 0 ends the list
};

struct Header {
    std::uint16_t type = 0;
    std::uint16_t disc_format = 0;
    std::uint32_t block_size = kUserBlockSize;
    std::uint32_t total_bytes = 0;
    std::array<std::uint8_t, kDescriptionSize> description{};  // NUL-terminated text
    std::array<std::uint8_t, kSignatureSize> signature{};
    std::uint32_t last_track_start = 0;
    std::uint8_t first_track = 1;
    std::uint8_t last_track = 1;
    std::uint32_t lead_out = 0;  // packed MSF
    std::array<TrackEntry, kTrackEntryCount> tracks{};

    ContainerType container_type() const { return static_cast<ContainerType>(type); }

    // The two-session layout: the last track number is below the first.
    bool is_two_session() const { return last_track < first_track; }

    // Description up to its first NUL (or all 128 bytes without one).
    std::string description_text() const;
    // Stores at most 127 bytes, cut on a UTF-8 character boundary, rest zero.
    void set_description(std::string_view text);

    std::string_view signature_text() const;
    void set_signature(std::string_view text);
};

inline constexpr std::string_view kSignatureV1 = "QIM V1.0";
inline constexpr std::string_view kSignatureV3 = "QIM V3.0";

// Readers accept the signatures "QIM V1.0" and "QIM V3.0" as equal.
bool is_accepted_signature(std::span<const std::uint8_t> signature_field);

// Decodes the fields of a whole header block.
Header parse_header(std::span<const std::uint8_t, kHeaderBlockSize> block);
// Decodes only offsets 0..151 (the track fields keep their defaults).
Header parse_header_start(std::span<const std::uint8_t, kHeaderStartSize> start);
// Encodes the header into a zero-filled 512-byte block.
void serialize_header(const Header& header, std::span<std::uint8_t, kHeaderBlockSize> block);

// A fresh header as writers make it: signature "QIM V1.0", unused track
// entries at 00:02:00.
Header make_header(ContainerType type, std::uint16_t disc_format);

}  // namespace qpx::container
