#include "container_fixtures.h"

#include <fstream>
#include <stdexcept>

#include "qpx/container/byte_order.h"
#include "qpx/container/header.h"
#include "qpx/container_writer/container_writer.h"

namespace qpx::driver::test {

using container::kUserSectorSize;

container_writer::MemorySectorSource numbered_sectors(std::uint32_t count) {
    std::vector<std::uint8_t> bytes(std::size_t{count} * kUserSectorSize);
    for (std::uint32_t s = 0; s < count; ++s) {
        const std::span<std::uint8_t> sector(bytes.data() + std::size_t{s} * kUserSectorSize, kUserSectorSize);
        container::store_le32(sector, 0, s);
        for (std::size_t i = 4; i < kUserSectorSize; ++i)
            sector[i] = static_cast<std::uint8_t>((s * 7 + i / 16) & 0xFF);
    }
    return container_writer::MemorySectorSource(std::move(bytes), kUserSectorSize);
}

std::vector<std::uint8_t> sector_bytes(const container_writer::SectorSource& source, std::uint32_t i,
                                       std::uint32_t count) {
    std::vector<std::uint8_t> out(source.sector_bytes() * count);
    source.read(i, out);
    return out;
}

void write_single_track(const std::filesystem::path& path, container::ContainerType type,
                        const container_writer::SectorSource& sectors, std::uint16_t disc_format,
                        std::vector<std::uint32_t> defective) {
    container_writer::ContainerPlan plan;
    plan.type = type;
    plan.disc_format = disc_format;
    plan.sectors = &sectors;
    plan.defective_sectors = std::move(defective);
    container_writer::write_container(plan, path);
}

void write_header_only(const std::filesystem::path& path, container::ContainerType type, std::uint32_t total_bytes) {
    container::Header header = container::make_header(type, container::disc_format::single_data);
    header.total_bytes = total_bytes;
    header.tracks[0] = {container::kFirstStoredSector, 0x41};
    std::array<std::uint8_t, container::kHeaderBlockSize> block{};
    container::serialize_header(header, block);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void patch_le32(const std::filesystem::path& path, std::uint64_t offset, std::uint32_t value) {
    std::array<std::uint8_t, 4> bytes{};
    container::store_le32(bytes, 0, value);
    patch_bytes(path, offset, bytes);
}

void patch_bytes(const std::filesystem::path& path, std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(static_cast<std::streamoff>(offset));
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!f) throw std::runtime_error("cannot patch " + path.string());
}

}  // namespace qpx::driver::test
