#include "qpx/container_writer/sector_source.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "qpx/container/format.h"

namespace qpx::container_writer {
namespace {

std::uint8_t to_bcd(unsigned v) { return static_cast<std::uint8_t>((v / 10) << 4 | (v % 10)); }

void check_span(std::span<std::uint8_t> out, std::size_t sector_bytes, std::uint32_t first,
                std::uint32_t count) {
    if (out.size() % sector_bytes != 0) throw std::invalid_argument("partial sector requested");
    if (static_cast<std::uint64_t>(first) + out.size() / sector_bytes > count)
        throw std::out_of_range("sector " + std::to_string(first) + " beyond the source");
}

}  // namespace

FileSectorSource::FileSectorSource(const std::filesystem::path& path, std::size_t sector_bytes)
    : sector_bytes_(sector_bytes) {
    std::error_code ec;
    file_ = container::open_for_reading(path, ec);
    if (!file_.is_open()) throw std::runtime_error("cannot open " + path.string() + ": " + ec.message());
    const std::int64_t size = container::file_size(file_.get());
    if (size < 0) throw std::runtime_error("cannot size " + path.string());
    count_ = static_cast<std::uint32_t>(static_cast<std::uint64_t>(size) / sector_bytes);
}

void FileSectorSource::read(std::uint32_t first, std::span<std::uint8_t> out) const {
    check_span(out, sector_bytes_, first, count_);
    std::error_code ec;
    if (container::pread_full(file_.get(), out, std::uint64_t{first} * sector_bytes_, ec) != out.size())
        throw std::runtime_error("short read from sector source: " + ec.message());
}

MemorySectorSource::MemorySectorSource(std::vector<std::uint8_t> bytes, std::size_t sector_bytes)
    : bytes_(std::move(bytes)), sector_bytes_(sector_bytes) {
    if (bytes_.size() % sector_bytes_ != 0) throw std::invalid_argument("partial sector in source");
}

void MemorySectorSource::read(std::uint32_t first, std::span<std::uint8_t> out) const {
    check_span(out, sector_bytes_, first, sector_count());
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(std::size_t{first} * sector_bytes_),
                out.size(), out.begin());
}

void make_raw_sector(std::uint32_t lba, std::uint8_t mode, std::span<const std::uint8_t> user_data,
                     std::span<std::uint8_t> raw) {
    std::fill(raw.begin(), raw.end(), std::uint8_t{0});
    std::fill(raw.begin() + 1, raw.begin() + 11, std::uint8_t{0xFF});
    const std::uint32_t frames = lba + 150;
    raw[12] = to_bcd(frames / 4500);
    raw[13] = to_bcd(frames / 75 % 60);
    raw[14] = to_bcd(frames % 75);
    raw[15] = mode;
    // Mode 2 form 1: the sub-header (file, channel, submode 0x08 = data, coding) twice.
    const std::size_t at = mode == 2 ? 24 : 16;
    if (mode == 2) raw[18] = raw[22] = 0x08;
    std::copy_n(user_data.begin(), container::kUserSectorSize, raw.begin() + static_cast<std::ptrdiff_t>(at));
}

RawSectorAdapter::RawSectorAdapter(const SectorSource& user_data, std::uint32_t first_lba,
                                   std::uint8_t mode)
    : user_(user_data), first_lba_(first_lba), mode_(mode) {
    if (user_.sector_bytes() != container::kUserSectorSize)
        throw std::invalid_argument("raw sectors are made from 2,048-byte sectors");
}

std::size_t RawSectorAdapter::sector_bytes() const { return container::kRawSectorSize; }

void RawSectorAdapter::read(std::uint32_t first, std::span<std::uint8_t> out) const {
    check_span(out, container::kRawSectorSize, first, sector_count());
    const std::size_t count = out.size() / container::kRawSectorSize;
    std::vector<std::uint8_t> user(count * container::kUserSectorSize);
    user_.read(first, user);
    for (std::size_t i = 0; i < count; ++i)
        make_raw_sector(first_lba_ + first + static_cast<std::uint32_t>(i), mode_,
                        std::span(user).subspan(i * container::kUserSectorSize, container::kUserSectorSize),
                        out.subspan(i * container::kRawSectorSize, container::kRawSectorSize));
}

}  // namespace qpx::container_writer
