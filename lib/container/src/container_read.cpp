// Reading sectors from an opened container.
#include <algorithm>
#include <array>

#include "qpx/container/block_decoder.h"
#include "qpx/container/container.h"
#include "qpx/container/errors.h"

namespace qpx::container {
namespace {

constexpr std::size_t kModeByte = 15;
constexpr std::size_t kMode1UserData = 16;
constexpr std::size_t kMode2UserData = 24;

bool is_block_area(AreaKind kind) {
    return kind == AreaKind::normal_blocks || kind == AreaKind::maximal_blocks;
}

// 2,048 bytes of user data of a raw sector, chosen by its mode byte.
std::error_code extract_user_data(std::span<const std::uint8_t> raw, std::span<std::uint8_t> out) {
    std::size_t at;
    switch (raw[kModeByte]) {
        case 1: at = kMode1UserData; break;
        case 2: at = kMode2UserData; break;
        default: return Errc::wrong_track_mode;
    }
    std::copy_n(raw.begin() + at, kUserSectorSize, out.begin());
    return {};
}

}  // namespace

std::error_code Container::locate(std::uint32_t sector, SectorLocation& out) const {
    return locate_sector(header_, base_, nodes_, sector, out);
}

std::error_code Container::read_stored(const SectorLocation& where, std::span<std::uint8_t> out) const {
    std::error_code io;
    const std::uint64_t offset = where.area_offset + where.position;
    if (pread_full(file_.get(), out, offset, io) != out.size()) return Errc::medium_error;
    return {};
}

std::error_code Container::block_bytes(const SectorLocation& where, std::size_t length,
                                       BlockCache& cache, std::span<const std::uint8_t>& bytes) const {
    const std::uint32_t block_size = header_.block_size;
    if (block_size != kSectorsPerBlock * where.stride) return Errc::bad_container;
    const AreaIndex& area = indexes_[where.area];
    if (!area.loaded) return Errc::bad_container;
    if (area.error) return area.error;

    const std::uint64_t block = where.position / block_size;
    const std::size_t offset = static_cast<std::size_t>(where.position % block_size);
    if (block > UINT32_MAX) return Errc::medium_error;
    const auto k = static_cast<std::uint32_t>(block);

    if (!cache.holds(id_, where.area, k)) {
        cache.invalidate();
        BlockExtent extent;
        if (const std::error_code ec = area.index.extent(k, extent)) return ec;
        cache.stored_.resize(kMaxStoredBlock);
        cache.decoded_.resize(std::max<std::size_t>(cache.decoded_.size(), block_size));
        const auto stored = std::span(cache.stored_).first(extent.length);
        std::error_code io;
        if (pread_full(file_.get(), stored, extent.offset, io) != stored.size())
            return Errc::medium_error;
        const BlockCompression compression = where.kind == AreaKind::normal_blocks
                                                 ? BlockCompression::normal
                                                 : BlockCompression::maximal;
        std::size_t decoded = 0;
        if (const std::error_code ec = decode_block(
                stored, compression, std::span(cache.decoded_).first(block_size), decoded))
            return ec;
        cache.valid_ = true;
        cache.container_ = id_;
        cache.area_ = where.area;
        cache.block_ = k;
        cache.decoded_length_ = decoded;
    }
    // The last block of an area may hold fewer sectors than a full block.
    if (offset + length > cache.decoded_length_) return Errc::medium_error;
    bytes = std::span<const std::uint8_t>(cache.decoded_).subspan(offset, length);
    return {};
}

std::error_code Container::read_user_data(const SectorLocation& where, std::span<std::uint8_t> out,
                                          BlockCache& cache) const {
    switch (where.kind) {
        case AreaKind::zeros: std::fill(out.begin(), out.end(), std::uint8_t{0}); return {};
        case AreaKind::plain: return read_stored(where, out);
        case AreaKind::raw: {
            std::array<std::uint8_t, kRawSectorSize> raw{};
            if (const std::error_code ec = read_stored(where, raw)) return ec;
            return extract_user_data(raw, out);
        }
        case AreaKind::normal_blocks:
        case AreaKind::maximal_blocks: {
            std::span<const std::uint8_t> bytes;
            if (const std::error_code ec = block_bytes(where, kUserSectorSize, cache, bytes)) return ec;
            std::copy(bytes.begin(), bytes.end(), out.begin());
            return {};
        }
    }
    return Errc::bad_container;
}

std::error_code Container::read_sector(std::uint32_t sector, std::span<std::uint8_t> out,
                                       BlockCache& cache) const {
    if (out.size() != kUserSectorSize) return Errc::invalid_argument;
    if (defect_map_.is_marked(sector)) return Errc::defective_sector;
    SectorLocation where;
    if (const std::error_code ec = locate(sector, where)) return ec;
    return read_user_data(where, out, cache);
}

std::error_code Container::read_raw_sector(std::uint32_t sector, std::span<std::uint8_t> out,
                                           BlockCache& cache) const {
    if (out.size() != kRawSectorSize) return Errc::invalid_argument;
    if (defect_map_.is_marked(sector)) return Errc::defective_sector;
    SectorLocation where;
    if (const std::error_code ec = locate(sector, where)) return ec;
    if (where.kind == AreaKind::zeros) {
        // Sectors 0..15 of a track at sector 0: never stored, whatever the track holds.
        std::fill(out.begin(), out.end(), std::uint8_t{0});
        return {};
    }
    if (where.stride != kRawSectorSize) return Errc::wrong_track_mode;
    if (!is_block_area(where.kind)) return read_stored(where, out);
    std::span<const std::uint8_t> bytes;
    if (const std::error_code ec = block_bytes(where, kRawSectorSize, cache, bytes)) return ec;
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return {};
}

std::error_code Container::read_sectors(std::uint32_t first, std::span<std::uint8_t> out,
                                        BlockCache& cache, std::uint32_t* sectors_read) const {
    if (sectors_read) *sectors_read = 0;
    if (out.size() % kUserSectorSize != 0) return Errc::invalid_argument;
    const std::size_t count = out.size() / kUserSectorSize;
    if (static_cast<std::uint64_t>(first) + count > std::uint64_t{UINT32_MAX} + 1)
        return Errc::not_found;

    std::size_t i = 0;
    while (i < count) {
        const std::uint32_t sector = first + static_cast<std::uint32_t>(i);
        if (defect_map_.is_marked(sector)) return Errc::defective_sector;
        SectorLocation where;
        if (const std::error_code ec = locate(sector, where)) return ec;

        // Plain 2,048-byte sectors that follow each other in the file are
        // read with one call.
        std::size_t run = 1;
        if (where.kind == AreaKind::plain && where.stride == kUserSectorSize) {
            while (i + run < count) {
                const std::uint32_t next = sector + static_cast<std::uint32_t>(run);
                SectorLocation after;
                if (defect_map_.is_marked(next) || locate(next, after) || after.kind != AreaKind::plain ||
                    after.area != where.area || after.stride != kUserSectorSize ||
                    after.area_offset + after.position !=
                        where.area_offset + where.position + run * kUserSectorSize)
                    break;
                ++run;
            }
        }
        const auto dest = out.subspan(i * kUserSectorSize, run * kUserSectorSize);
        const std::error_code ec =
            run == 1 ? read_user_data(where, dest, cache) : read_stored(where, dest);
        if (ec) return ec;
        i += run;
        if (sectors_read) *sectors_read = static_cast<std::uint32_t>(i);
    }
    return {};
}

}  // namespace qpx::container
