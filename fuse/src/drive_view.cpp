#include "drive_view.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cue_sheet.h"

namespace qpx::fuse_view {
namespace {

// Sectors of image.bin that the drive does not read: the ends of data tracks
// that stop before the next track. The file holds zeros there.
struct SectorRun {
    std::uint32_t first = 0;
    std::uint32_t count = 0;
    bool unread = false;
};

SectorRun run_at(const DiscLayout& layout, std::uint32_t sector, std::uint32_t last) {
    std::uint32_t run_end = last + 1;
    for (const auto& t : layout.tracks) {
        if (t.audio || t.readable == t.sectors) continue;
        const std::uint32_t gap = t.start + t.readable;
        if (sector >= gap && sector < t.end()) return {sector, std::min(t.end(), run_end) - sector, true};
        if (gap > sector) run_end = std::min(run_end, gap);
    }
    return {sector, run_end - sector, false};
}

}  // namespace

bool disc_has_file(const DiscLayout& layout, ViewFile file) {
    return file != ViewFile::data_iso || layout.data_track() != nullptr;
}

std::uint64_t file_size(const DiscLayout& layout, ViewFile file) {
    switch (file) {
        case ViewFile::data_iso: return layout.data_iso_bytes();
        case ViewFile::image_cue: return cue_sheet(layout, kImageBinName).size();
        case ViewFile::image_bin: return layout.image_bin_bytes();
    }
    return 0;
}

int DriveView::medium_of(const ViewPath& path, DriveSession*& session, MediumView& medium) {
    session = drives_.session(path.letter);
    if (!session) return -ENOENT;
    return session->current(medium);
}

int DriveView::attributes(std::string_view text, EntryAttributes& out) {
    const auto path = parse_view_path(text);
    if (!path) return -ENOENT;
    out = EntryAttributes{};
    out.modified = started_;
    if (path->kind == ViewPath::Kind::root) {
        out.directory = true;
        return 0;
    }
    if (path->kind == ViewPath::Kind::drive) {
        out.directory = true;
        return drives_.letters().find(path->letter) == std::string::npos ? -ENOENT : 0;
    }
    DriveSession* session = nullptr;
    MediumView medium;
    if (const int r = medium_of(*path, session, medium)) return r;
    if (!disc_has_file(*medium.layout, path->file)) return -ENOENT;
    out.size = file_size(*medium.layout, path->file);
    out.modified = medium.seen;
    return 0;
}

int DriveView::list(std::string_view text, std::vector<std::string>& names) {
    const auto path = parse_view_path(text);
    if (!path) return -ENOENT;
    names.clear();
    if (path->kind == ViewPath::Kind::root) {
        for (char letter : drives_.letters()) names.emplace_back(1, letter);
        return 0;
    }
    if (path->kind == ViewPath::Kind::file) return -ENOTDIR;
    DriveSession* session = nullptr;
    MediumView medium;
    if (const int r = medium_of(*path, session, medium)) return r;
    for (ViewFile f : kViewFiles)
        if (disc_has_file(*medium.layout, f)) names.emplace_back(file_name(f));
    return 0;
}

int DriveView::open(std::string_view text, std::unique_ptr<OpenFile>& out) {
    const auto path = parse_view_path(text);
    if (!path) return -ENOENT;
    if (path->kind != ViewPath::Kind::file) return -EISDIR;
    DriveSession* session = nullptr;
    MediumView medium;
    if (const int r = medium_of(*path, session, medium)) return r;
    if (!disc_has_file(*medium.layout, path->file)) return -ENOENT;
    auto file = std::make_unique<OpenFile>();
    file->session = session;
    file->file = path->file;
    file->generation = medium.generation;
    file->layout = medium.layout;
    if (path->file == ViewFile::image_cue) file->text = cue_sheet(*medium.layout, kImageBinName);
    file->size = file_size(*medium.layout, path->file);
    out = std::move(file);
    return 0;
}

long DriveView::read(const OpenFile& file, std::span<std::uint8_t> out, std::uint64_t offset) {
    if (offset >= file.size || out.empty()) return 0;
    const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), file.size - offset));
    out = out.first(length);
    switch (file.file) {
        case ViewFile::image_cue:
            std::memcpy(out.data(), file.text.data() + offset, length);
            return static_cast<long>(length);
        case ViewFile::data_iso: return read_sectors(file, out, offset, cdrom::kUserDataSize);
        case ViewFile::image_bin: return read_sectors(file, out, offset, cdrom::kRawSectorSize);
    }
    return -EIO;
}

// Reads whole sectors straight into `out` when the range is aligned to
// them, else through a buffer of the sectors it touches.
long DriveView::read_sectors(const OpenFile& file, std::span<std::uint8_t> out, std::uint64_t offset,
                             std::size_t sector_size) {
    DriveSession* session = file.session;
    const auto first = static_cast<std::uint32_t>(offset / sector_size);
    const auto last = static_cast<std::uint32_t>((offset + out.size() - 1) / sector_size);
    const std::size_t skip = static_cast<std::size_t>(offset % sector_size);
    const bool aligned = skip == 0 && out.size() % sector_size == 0;
    std::vector<std::uint8_t> buffer;
    std::span<std::uint8_t> sectors = out;
    if (!aligned) {
        buffer.resize(std::size_t{last - first + 1} * sector_size);
        sectors = buffer;
    }

    if (file.file == ViewFile::data_iso) {
        const std::uint32_t start = file.layout->data_track()->start;
        if (const int r = session->read(file.generation, start + first, last - first + 1, cdrom::SectorForm::UserData,
                                        sectors))
            return r;
    } else {
        for (std::uint32_t s = first; s <= last;) {
            const SectorRun run = run_at(*file.layout, s, last);
            auto part = sectors.subspan(std::size_t{s - first} * sector_size, std::size_t{run.count} * sector_size);
            if (run.unread)
                std::fill(part.begin(), part.end(), std::uint8_t{0});
            else if (const int r = session->read(file.generation, s, run.count, cdrom::SectorForm::RawData, part))
                return r;
            s += run.count;
        }
    }
    if (!aligned) std::memcpy(out.data(), buffer.data() + skip, out.size());
    return static_cast<long>(out.size());
}

}  // namespace qpx::fuse_view
