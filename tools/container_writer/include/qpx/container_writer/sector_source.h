// Where a writer takes the sectors of a data track from.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "qpx/container/file_io.h"

namespace qpx::container_writer {

class SectorSource {
public:
    virtual ~SectorSource() = default;
    virtual std::size_t sector_bytes() const = 0;  // 2,048 or 2,352
    virtual std::uint32_t sector_count() const = 0;
    // Fills `out` (a whole number of sectors) from sector `first` on; throws
    // when the sectors are not there.
    virtual void read(std::uint32_t first, std::span<std::uint8_t> out) const = 0;
};

// Sectors of an image file (an ISO of 2,048-byte sectors or a raw image).
class FileSectorSource final : public SectorSource {
public:
    FileSectorSource(const std::filesystem::path& path, std::size_t sector_bytes);
    std::size_t sector_bytes() const override { return sector_bytes_; }
    std::uint32_t sector_count() const override { return count_; }
    void read(std::uint32_t first, std::span<std::uint8_t> out) const override;

private:
    container::FileHandle file_;
    std::size_t sector_bytes_;
    std::uint32_t count_ = 0;
};

// Sectors held in memory.
class MemorySectorSource final : public SectorSource {
public:
    MemorySectorSource(std::vector<std::uint8_t> bytes, std::size_t sector_bytes);
    std::size_t sector_bytes() const override { return sector_bytes_; }
    std::uint32_t sector_count() const override {
        return static_cast<std::uint32_t>(bytes_.size() / sector_bytes_);
    }
    void read(std::uint32_t first, std::span<std::uint8_t> out) const override;
    std::span<const std::uint8_t> bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t sector_bytes_;
};

// Presents 2,048-byte sectors as raw 2,352-byte data sectors: sync pattern,
// BCD address header of (first_lba + index + 150), the mode byte, and the
// user data at offset 16 (mode 1) or 24 (mode 2 form 1, behind a sub-header).
// Error-detection and -correction bytes are left zero: readers of the
// container take the user data by the mode byte and do not check them.
class RawSectorAdapter final : public SectorSource {
public:
    RawSectorAdapter(const SectorSource& user_data, std::uint32_t first_lba, std::uint8_t mode);
    std::size_t sector_bytes() const override;
    std::uint32_t sector_count() const override { return user_.sector_count(); }
    void read(std::uint32_t first, std::span<std::uint8_t> out) const override;

private:
    const SectorSource& user_;
    std::uint32_t first_lba_;
    std::uint8_t mode_;
};

// Builds one raw sector around 2,048 bytes of user data (as RawSectorAdapter).
void make_raw_sector(std::uint32_t lba, std::uint8_t mode, std::span<const std::uint8_t> user_data,
                     std::span<std::uint8_t> raw);

}  // namespace qpx::container_writer
