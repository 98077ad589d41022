// Opening a container: header block, defect map, stored TOC, track table and
// the block indexes of its compressed data areas.
#include <sys/stat.h>

#include <array>
#include <atomic>
#include <cerrno>

#include "qpx/container/byte_order.h"
#include "qpx/container/container.h"
#include "qpx/container/errors.h"

namespace qpx::container {
namespace {

std::uint64_t next_container_id() {
    static std::atomic<std::uint64_t> counter{0};
    return ++counter;
}

bool is_block_storage(std::uint8_t storage) {
    return storage == static_cast<std::uint8_t>(Storage::normal) ||
           storage == static_cast<std::uint8_t>(Storage::maximal);
}

}  // namespace

std::error_code Container::open(const std::filesystem::path& path,
                                std::shared_ptr<const Container>& out, const OpenOptions& options) {
    out.reset();
    std::shared_ptr<Container> c(new Container());
    c->path_ = path;
    std::error_code io;
    c->file_ = open_for_reading(path, io);
    if (!c->file_.is_open())
        return io.value() == ENOENT || io.value() == ENOTDIR ? Errc::not_found : Errc::open_failed;
    // Folders and devices that stream (pipes, terminals) hold no container.
    struct stat st {};
    if (::fstat(c->file_.get(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)))
        return Errc::open_failed;
    c->id_ = next_container_id();
    if (const std::error_code ec = c->load_layout(options)) return ec;
    c->load_block_indexes();
    out = std::move(c);
    return {};
}

std::error_code Container::load_layout(const OpenOptions& options) {
    const int fd = file_.get();
    std::error_code io;

    std::array<std::uint8_t, kHeaderBlockSize> block{};
    if (pread_full(fd, block, 0, io) != block.size()) return io ? Errc::medium_error : Errc::bad_container;
    header_ = parse_header(block);
    if (options.check_signature && !is_accepted_signature(header_.signature))
        return Errc::bad_container;

    base_ = kHeaderBlockSize;
    has_defect_map_ = container::has_defect_map(header_.disc_format);
    if (has_defect_map_) {
        std::array<std::uint8_t, 4> length_field{};
        if (pread_full(fd, length_field, kDefectMapLengthOffset, io) != length_field.size())
            return Errc::medium_error;
        const std::uint32_t length = load_le32(length_field, 0);
        if (length > kMaxDefectMapBytes) return Errc::bad_container;
        std::vector<std::uint8_t> bytes(length);
        if (pread_full(fd, bytes, kDefectMapBytesOffset, io) != bytes.size())
            return Errc::medium_error;
        defect_map_ = DefectMap(std::move(bytes));
        base_ = kDefectMapBytesOffset + length;
    }

    const ContainerType type = header_.container_type();
    if (type == ContainerType::toc_plain || type == ContainerType::toc_normal_blocks) {
        stored_toc_.resize(kStoredTocSize);
        if (pread_full(fd, stored_toc_, base_, io) != stored_toc_.size()) return Errc::medium_error;
    } else if (type == ContainerType::track_table) {
        std::array<std::uint8_t, kTrackTableSize> table{};
        if (pread_full(fd, table, base_, io) != table.size()) return Errc::medium_error;
        nodes_ = parse_track_table(table);
    }
    return {};
}

void Container::load_block_indexes() {
    const int fd = file_.get();
    auto load = [&](std::size_t area, std::uint64_t offset) {
        AreaIndex& slot = indexes_[area];
        slot.loaded = true;
        slot.error = BlockIndex::load(fd, offset, slot.index);
    };
    switch (header_.container_type()) {
        case ContainerType::normal_blocks:
        case ContainerType::maximal_blocks: load(kSingleArea, base_); break;
        case ContainerType::toc_normal_blocks: load(kSingleArea, base_ + kStoredTocSize); break;
        case ContainerType::track_table:
            for (std::size_t i = 0; i < kTrackNodeCount; ++i)
                if (is_block_storage(nodes_[i].storage)) load(i, nodes_[i].data_offset());
            break;
        default: break;
    }
}

}  // namespace qpx::container
