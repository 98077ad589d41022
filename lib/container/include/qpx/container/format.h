// Sizes, codes and limits of the ".qim" container layout.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qpx::container {

// Fixed records.
inline constexpr std::size_t kHeaderBlockSize = 512;    // header block at offset 0
inline constexpr std::size_t kHeaderStartSize = 152;    // fields up to the signature
inline constexpr std::size_t kDescriptionSize = 128;
inline constexpr std::size_t kSignatureSize = 12;
inline constexpr std::size_t kTrackEntryCount = 70;     // mini-TOC entries at 162
inline constexpr std::size_t kTrackNodeSize = 137;
inline constexpr std::size_t kTrackNodeCount = 70;
inline constexpr std::size_t kTrackTableSize = kTrackNodeSize * kTrackNodeCount;  // 9,590
inline constexpr std::size_t kStoredTocSize = 804;
inline constexpr std::size_t kNodeLocationSize = 128;

// Header field offsets.
inline constexpr std::size_t kOffType = 0;
inline constexpr std::size_t kOffDiscFormat = 2;
inline constexpr std::size_t kOffBlockSize = 4;
inline constexpr std::size_t kOffTotalBytes = 8;
inline constexpr std::size_t kOffDescription = 12;
inline constexpr std::size_t kOffSignature = 140;
inline constexpr std::size_t kOffLastTrackStart = 152;
inline constexpr std::size_t kOffFirstTrack = 156;
inline constexpr std::size_t kOffLastTrack = 157;
inline constexpr std::size_t kOffLeadOut = 158;
inline constexpr std::size_t kOffTrackEntries = 162;
inline constexpr std::size_t kTrackEntrySize = 5;

// The defect map's length field follows the header block; its bytes follow it.
inline constexpr std::uint64_t kDefectMapLengthOffset = kHeaderBlockSize;
inline constexpr std::uint64_t kDefectMapBytesOffset = kHeaderBlockSize + 4;

// Sectors and blocks.
inline constexpr std::size_t kUserSectorSize = 2048;
inline constexpr std::size_t kRawSectorSize = 2352;
inline constexpr std::uint32_t kSectorsPerBlock = 16;
inline constexpr std::uint32_t kUserBlockSize = kSectorsPerBlock * kUserSectorSize;  // 32,768
inline constexpr std::uint32_t kRawBlockSize = kSectorsPerBlock * kRawSectorSize;    // 37,632
inline constexpr std::uint32_t kFirstStoredSector = 16;  // sectors 0..15 are never stored
inline constexpr std::size_t kBlockHeadSize = 2;
inline constexpr std::uint16_t kHeadCompressed = 0x8000;
inline constexpr std::uint16_t kHeadLengthMask = 0x7FFF;
// Largest block as stored: head plus a block of raw sectors.
inline constexpr std::size_t kMaxStoredBlock = kBlockHeadSize + kRawBlockSize;
inline constexpr std::uint32_t kUnusedIndexEntry = 0xFFFFFFFF;

// Limits: a disc ends at 99:59:74 at the latest, 449,850 sectors. Defect maps
// and block indexes are sized per container up to that and refused beyond it.
inline constexpr std::uint32_t kMaxDiscSectors = (99 * 60 + 59) * 75 + 74 - 150 + 1;
inline constexpr std::size_t kMaxDefectMapBytes = kMaxDiscSectors / 8 + 1;
inline constexpr std::size_t kMaxIndexEntries =
    (kMaxDiscSectors + kSectorsPerBlock - 1) / kSectorsPerBlock + 1;

// Layout of the data area (header offset 0).
enum class ContainerType : std::uint16_t {
    plain = 0,               // sector s at B + (s - 16) * 2048
    normal_blocks = 1,       // block index at B, normal compression
    toc_plain = 2,           // stored TOC at B, sector s at B + 804 + s * 2048
    toc_normal_blocks = 3,   // stored TOC at B, block index at B + 804
    track_table = 5,         // 70 track nodes at B, one data area per track
    maximal_blocks = 6,      // block index at B, zlib streams
};

// How one track of a type-5 container is stored (track node byte 8).
enum class Storage : std::uint8_t {
    plain = 0,     // 2048-byte sectors (2352 under the raw-sector disc formats)
    normal = 1,    // blocks, normal compression
    wave = 2,      // audio track in a wave file beside the container
    raw = 3,       // raw 2352-byte sectors, never compressed
    maximal = 5,   // blocks, zlib streams
};

// Disc formats (header offset 2, compared as 16 bits).
namespace disc_format {
inline constexpr std::uint16_t single_data = 0;
inline constexpr std::uint16_t mixed_mode = 1;
inline constexpr std::uint16_t audio = 2;
inline constexpr std::uint16_t multisession = 3;
inline constexpr std::uint16_t cdi = 4;
inline constexpr std::uint16_t cdi_bridge = 5;
inline constexpr std::uint16_t cd_extra = 6;
inline constexpr std::uint16_t korrektur2 = 0x70;  // raw sectors plus defect map
inline constexpr std::uint16_t korrektur1 = 0x71;  // 2048-byte sectors plus defect map
}  // namespace disc_format

// Formats whose sector positions count 2,352 bytes per sector.
constexpr bool uses_raw_sector_positions(std::uint16_t format) {
    return format == disc_format::cdi || format == disc_format::cdi_bridge ||
           format == disc_format::cd_extra || format == disc_format::korrektur2;
}

// Formats that carry a defect map after the header block.
constexpr bool has_defect_map(std::uint16_t format) {
    return format == disc_format::korrektur2 || format == disc_format::korrektur1;
}

}  // namespace qpx::container
