#include "read_data.h"

#include <algorithm>
#include <array>

#include "qpx/container/errors.h"
#include "qpx/container/format.h"

namespace qpx::driver {
namespace {

using container::Errc;
using container::kRawSectorSize;
using container::kUserSectorSize;

bool is_raw_length(std::size_t length) {
    return length % kRawSectorSize == 0 && length % kUserSectorSize != 0;
}

ReadOutcome read_raw(const container::Container& medium, container::BlockCache& cache, std::uint32_t first,
                     std::span<std::uint8_t> out) {
    const std::size_t count = out.size() / kRawSectorSize;
    if (std::uint64_t{first} + count > std::uint64_t{UINT32_MAX} + 1) return {0, Errc::not_found};
    for (std::size_t i = 0; i < count; ++i) {
        const auto sector = out.subspan(i * kRawSectorSize, kRawSectorSize);
        if (const std::error_code ec =
                medium.read_raw_sector(first + static_cast<std::uint32_t>(i), sector, cache))
            return {i * kRawSectorSize, ec};
    }
    return {out.size(), {}};
}

// Whole sectors first; a length that ends inside a sector gets that
// sector's leading bytes.
ReadOutcome read_user(const container::Container& medium, container::BlockCache& cache, std::uint32_t first,
                      std::span<std::uint8_t> out) {
    const std::size_t whole = out.size() / kUserSectorSize;
    const std::size_t tail = out.size() % kUserSectorSize;
    if (std::uint64_t{first} + whole + (tail ? 1 : 0) > std::uint64_t{UINT32_MAX} + 1)
        return {0, Errc::not_found};
    std::uint32_t sectors_read = 0;
    if (whole > 0) {
        if (const std::error_code ec =
                medium.read_sectors(first, out.first(whole * kUserSectorSize), cache, &sectors_read))
            return {std::size_t{sectors_read} * kUserSectorSize, ec};
    }
    if (tail > 0) {
        std::array<std::uint8_t, kUserSectorSize> sector{};
        if (const std::error_code ec =
                medium.read_sector(first + static_cast<std::uint32_t>(whole), sector, cache))
            return {whole * kUserSectorSize, ec};
        std::copy_n(sector.begin(), tail, out.begin() + static_cast<std::ptrdiff_t>(whole * kUserSectorSize));
    }
    return {out.size(), {}};
}

// Single-track containers hold the sectors below total bytes / 2,048; a read
// beyond them is short, not a damaged container.
std::uint64_t sectors_held(const container::Container& medium) {
    using container::ContainerType;
    switch (medium.header().container_type()) {
        case ContainerType::plain:
        case ContainerType::normal_blocks:
        case ContainerType::maximal_blocks: return medium.header().total_bytes / kUserSectorSize;
        default: return std::uint64_t{UINT32_MAX} + 1;
    }
}

std::size_t sector_bytes_of(std::size_t length) { return is_raw_length(length) ? kRawSectorSize : kUserSectorSize; }

}  // namespace

ReadOutcome read_data(const container::Container& medium, container::BlockCache& cache, std::uint32_t first,
                      std::span<std::uint8_t> out) {
    if (out.empty()) return {};
    if (medium.defect_map().is_marked(first)) return {0, Errc::defective_sector};

    const std::uint64_t held = sectors_held(medium);
    if (first >= held) return {0, Errc::not_found};
    const std::size_t sector_bytes = sector_bytes_of(out.size());
    const std::uint64_t wanted = (out.size() + sector_bytes - 1) / sector_bytes;
    std::span<std::uint8_t> within = out;
    if (first + wanted > held) within = out.first(static_cast<std::size_t>(held - first) * sector_bytes);

    ReadOutcome outcome = is_raw_length(out.size()) ? read_raw(medium, cache, first, within)
                                                    : read_user(medium, cache, first, within);
    if (!outcome.error && within.size() < out.size()) outcome.error = Errc::not_found;
    return outcome;
}

}  // namespace qpx::driver
