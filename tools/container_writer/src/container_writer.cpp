#include "qpx/container_writer/container_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "area_writer.h"
#include "qpx/container/byte_order.h"
#include "qpx/container/defect_map.h"
#include "qpx/container/file_io.h"
#include "qpx/container/header.h"
#include "qpx/container/track_node.h"

namespace qpx::container_writer {
namespace fs = std::filesystem;
using namespace qpx::container;

namespace {

bool is_single_track(ContainerType type) {
    return type == ContainerType::plain || type == ContainerType::normal_blocks ||
           type == ContainerType::maximal_blocks;
}

bool has_stored_toc(ContainerType type) {
    return type == ContainerType::toc_plain || type == ContainerType::toc_normal_blocks;
}

bool is_data_storage(Storage storage) { return storage != Storage::wave; }

// The READ TOC answer (format 0, MSF addresses) of one data track at 0.
std::vector<std::uint8_t> single_track_toc(std::uint8_t control, std::uint32_t lead_out_lba) {
    std::vector<std::uint8_t> toc(kStoredTocSize, 0);
    const std::uint8_t adr_control = static_cast<std::uint8_t>((control << 4) | (control >> 4));
    toc[1] = 18;  // two descriptors plus the two bytes after the length
    toc[2] = 1;
    toc[3] = 1;
    auto descriptor = [&](std::size_t at, std::uint8_t track, std::uint32_t lba) {
        toc[at + 1] = adr_control;
        toc[at + 2] = track;
        store_be32(toc, at + 4, packed_msf(lba));
    };
    descriptor(4, 1, 0);
    descriptor(12, 0xAA, lead_out_lba);
    return toc;
}

// Bytes per stored sector of a track, as the reader counts them.
std::size_t track_stride(const ContainerPlan& plan, bool two_session, const TrackPlan& track) {
    if (track.storage == Storage::raw) return kRawSectorSize;
    if (!two_session && uses_raw_sector_positions(plan.disc_format)) return kRawSectorSize;
    return kUserSectorSize;
}

std::uint32_t defect_map_length(const ContainerPlan& plan) {
    if (plan.defect_map_bytes) return *plan.defect_map_bytes;
    std::uint32_t end_sum = 0;
    if (plan.type == ContainerType::track_table) {
        for (const TrackPlan& t : plan.tracks)
            if (is_data_storage(t.storage)) end_sum += t.end;
    } else if (plan.sectors) {
        end_sum = plan.sectors->sector_count();
    }
    return end_sum / 8 + 1;
}

class TempFile {
public:
    explicit TempFile(const fs::path& target) {
        std::string templ = (target.parent_path() / ("." + target.filename().string() + ".tmp-XXXXXX")).string();
        fd_ = ::mkstemp(templ.data());
        if (fd_ < 0) throw std::runtime_error("cannot create a file beside " + target.string());
        path_ = templ;
    }
    ~TempFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!committed_) ::unlink(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int fd() const { return fd_; }

    void commit(const fs::path& target) {
        if (::fchmod(fd_, 0644) != 0 || ::fsync(fd_) != 0)
            throw std::runtime_error("cannot sync " + path_.string());
        if (::close(fd_) != 0) {
            fd_ = -1;
            throw std::runtime_error("cannot close " + path_.string());
        }
        fd_ = -1;
        if (::rename(path_.c_str(), target.c_str()) != 0)
            throw std::runtime_error("cannot rename into " + target.string());
        committed_ = true;
    }

private:
    int fd_ = -1;
    fs::path path_;
    bool committed_ = false;
};

std::uint64_t write_area(int fd, std::uint64_t offset, AreaSectors sectors, Storage storage,
                         std::uint32_t spare) {
    switch (storage) {
        case Storage::plain:
        case Storage::raw: return write_plain_area(fd, offset, sectors);
        case Storage::normal: return write_block_area(fd, offset, sectors, BlockCodec::normal, spare);
        case Storage::maximal: return write_block_area(fd, offset, sectors, BlockCodec::maximal, spare);
        case Storage::wave: break;
    }
    throw std::invalid_argument("storage has no data area");
}

Storage storage_of_type(ContainerType type) {
    switch (type) {
        case ContainerType::plain:
        case ContainerType::toc_plain: return Storage::plain;
        case ContainerType::normal_blocks:
        case ContainerType::toc_normal_blocks: return Storage::normal;
        case ContainerType::maximal_blocks: return Storage::maximal;
        case ContainerType::track_table: break;
    }
    throw std::invalid_argument("container type has no single data area");
}

// Types 0, 1, 2, 3, 6: one data area after B (and the stored TOC).
void write_single_area(const ContainerPlan& plan, Header& header, int fd, std::uint64_t base) {
    if (!plan.sectors || plan.sectors->sector_bytes() != kUserSectorSize)
        throw std::invalid_argument("single-area containers take 2,048-byte sectors");
    const std::uint32_t count = plan.sectors->sector_count();
    header.total_bytes = count * static_cast<std::uint32_t>(kUserSectorSize);
    header.first_track = 1;
    header.last_track = 1;
    header.lead_out = packed_msf(count);

    std::uint64_t area = base;
    AreaSectors sectors{plan.sectors, 0, count};
    if (has_stored_toc(plan.type)) {
        header.tracks[0] = {packed_msf(0), plan.data_control};
        std::vector<std::uint8_t> toc = plan.stored_toc.empty()
                                            ? single_track_toc(plan.data_control, count)
                                            : plan.stored_toc;
        if (toc.size() != kStoredTocSize) throw std::invalid_argument("a stored TOC has 804 bytes");
        write_at(fd, toc, base);
        area += kStoredTocSize;
    } else {
        header.tracks[0] = {kFirstStoredSector, plan.data_control};
        const std::uint32_t first = std::min(count, kFirstStoredSector);
        sectors = {plan.sectors, first, count - first};
    }
    write_area(fd, area, sectors, storage_of_type(plan.type), plan.spare_index_entries);
}

void copy_wave_file(const TrackPlan& track, const fs::path& folder) {
    if (track.wave_source.empty()) return;
    std::error_code ec;
    if (fs::equivalent(track.wave_source, folder / track.wave_name, ec)) return;
    fs::copy_file(track.wave_source, folder / track.wave_name, fs::copy_options::overwrite_existing);
}

// Type 5: the track table at B, then one data area per data track.
void write_track_table(const ContainerPlan& plan, Header& header, int fd, std::uint64_t base,
                       const fs::path& folder) {
    if (plan.tracks.empty() || plan.tracks.size() > kTrackNodeCount)
        throw std::invalid_argument("a track table holds 1 to 70 tracks");
    header.first_track = plan.first_track.value_or(1);
    header.last_track = plan.last_track.value_or(static_cast<std::uint8_t>(plan.tracks.size()));
    header.last_track_start = plan.last_track_start;
    const bool two_session = header.is_two_session();

    TrackTable nodes{};
    std::uint64_t position = base + kTrackTableSize;
    std::uint32_t lead_out = 0;
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < plan.tracks.size(); ++i) {
        const TrackPlan& t = plan.tracks[i];
        if (t.end < t.start) throw std::invalid_argument("track ends before it starts");
        TrackNode& node = nodes[i];
        node.start = t.start;
        node.end = t.end;
        node.storage = static_cast<std::uint8_t>(t.storage);
        header.tracks[i] = {packed_msf(t.start), t.control};
        lead_out = std::max(lead_out, t.end);

        if (t.storage == Storage::wave) {
            node.set_location_text(t.wave_name);
            if (!node.safe_wave_file_name()) throw std::invalid_argument("wave name must be a bare file name");
            copy_wave_file(t, folder);
            total += std::uint64_t{t.end - t.start} * kRawSectorSize;
            continue;
        }
        const std::size_t stride = track_stride(plan, two_session, t);
        const bool raw_format =
            plan.disc_format == disc_format::cdi_bridge || plan.disc_format == disc_format::korrektur2;
        total += std::uint64_t{t.end - t.start} * (raw_format ? kRawSectorSize : kUserSectorSize);
        if (!t.sectors || t.sectors->sector_bytes() != stride)
            throw std::invalid_argument("track " + std::to_string(i + 1) + " needs " +
                                        std::to_string(stride) + "-byte sectors");
        const std::uint32_t first_stored = t.start == 0 ? kFirstStoredSector : t.start;
        const std::uint32_t count = t.end > first_stored ? t.end - first_stored : 0;
        if (position > UINT32_MAX) throw std::runtime_error("track offset beyond 32 bits");
        node.set_data_offset(static_cast<std::uint32_t>(position));
        position = write_area(fd, position, {t.sectors, first_stored - t.start, count}, t.storage,
                              plan.spare_index_entries);
    }
    header.lead_out = packed_msf(lead_out);
    header.total_bytes = static_cast<std::uint32_t>(total);

    std::array<std::uint8_t, kTrackTableSize> table{};
    serialize_track_table(nodes, table);
    write_at(fd, table, base);
}

}  // namespace

std::uint32_t packed_msf(std::uint32_t lba) {
    const std::uint32_t f = lba + 150;
    return (f / 4500) << 16 | (f / 75 % 60) << 8 | (f % 75);
}

void write_container(const ContainerPlan& plan, const fs::path& target) {
    Header header = make_header(plan.type, plan.disc_format);
    header.set_description(plan.description);
    header.block_size = plan.block_size.value_or(
        plan.disc_format == disc_format::cdi_bridge || plan.disc_format == disc_format::korrektur2
            ? kRawBlockSize
            : kUserBlockSize);

    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    TempFile file(target.parent_path().empty() ? fs::path(".") / target : target);
    std::uint64_t base = kHeaderBlockSize;
    if (has_defect_map(plan.disc_format)) {
        DefectMap map(std::vector<std::uint8_t>(defect_map_length(plan), 0));
        for (std::uint32_t s : plan.defective_sectors)
            if (!map.mark(s)) throw std::invalid_argument("defective sector beyond the defect map");
        std::array<std::uint8_t, 4> length{};
        store_le32(length, 0, static_cast<std::uint32_t>(map.size()));
        write_at(file.fd(), length, kDefectMapLengthOffset);
        write_at(file.fd(), map.bytes(), kDefectMapBytesOffset);
        base = kDefectMapBytesOffset + map.size();
    }

    if (plan.type == ContainerType::track_table)
        write_track_table(plan, header, file.fd(), base, folder);
    else if (is_single_track(plan.type) || has_stored_toc(plan.type))
        write_single_area(plan, header, file.fd(), base);
    else
        throw std::invalid_argument("unknown container type");

    std::array<std::uint8_t, kHeaderBlockSize> block{};
    serialize_header(header, block);
    write_at(file.fd(), block, 0);
    file.commit(target);
}

}  // namespace qpx::container_writer
