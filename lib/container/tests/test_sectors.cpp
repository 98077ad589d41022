#include "test_sectors.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <stdexcept>

#include "qpx/container/byte_order.h"
#include "qpx/container/file_io.h"

namespace qpx::container::test {

std::vector<std::uint8_t> numbered_sectors(std::uint32_t count, std::size_t sector_bytes,
                                           std::uint32_t first_number) {
    std::vector<std::uint8_t> out(count * sector_bytes);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t number = first_number + i;
        auto sector = std::span(out).subspan(i * sector_bytes, sector_bytes);
        for (std::size_t b = 0; b < sector_bytes; ++b)
            sector[b] = static_cast<std::uint8_t>((number * 7 + b / 64) ^ (b % 13));
        store_le32(sector, 0, number);
    }
    return out;
}

std::vector<std::uint8_t> noise_sectors(std::uint32_t count, std::uint64_t seed) {
    std::vector<std::uint8_t> out(count * std::size_t{2048});
    std::uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
    for (auto& byte : out) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return out;
}

std::span<const std::uint8_t> sector_of(std::span<const std::uint8_t> sectors, std::uint32_t i,
                                        std::size_t sector_bytes) {
    return sectors.subspan(i * sector_bytes, sector_bytes);
}

std::shared_ptr<const Container> open_or_fail(const std::filesystem::path& path, const OpenOptions& options) {
    std::shared_ptr<const Container> c;
    if (const std::error_code ec = Container::open(path, c, options))
        throw std::runtime_error("cannot open " + path.string() + ": " + ec.message());
    return c;
}

void patch_file(const std::filesystem::path& path, std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    FileHandle f(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    std::error_code ec;
    if (!f.is_open() || !pwrite_full(f.get(), bytes, offset, ec)) throw std::runtime_error("cannot patch file");
}

void patch_le32(const std::filesystem::path& path, std::uint64_t offset, std::uint32_t value) {
    std::array<std::uint8_t, 4> b{};
    store_le32(b, 0, value);
    patch_file(path, offset, b);
}

void patch_le16(const std::filesystem::path& path, std::uint64_t offset, std::uint16_t value) {
    std::array<std::uint8_t, 2> b{};
    store_le16(b, 0, value);
    patch_file(path, offset, b);
}

std::uint32_t read_le32(const std::filesystem::path& path, std::uint64_t offset) {
    std::error_code ec;
    FileHandle f = open_for_reading(path, ec);
    std::array<std::uint8_t, 4> b{};
    if (!f.is_open() || pread_full(f.get(), b, offset, ec) != 4) throw std::runtime_error("cannot read file");
    return load_le32(b, 0);
}

std::uint16_t read_le16(const std::filesystem::path& path, std::uint64_t offset) {
    std::error_code ec;
    FileHandle f = open_for_reading(path, ec);
    std::array<std::uint8_t, 2> b{};
    if (!f.is_open() || pread_full(f.get(), b, offset, ec) != 2) throw std::runtime_error("cannot read file");
    return load_le16(b, 0);
}

}  // namespace qpx::container::test
