// The file system the view shows, apart from FUSE: the root lists the
// emulated drives' letters, each letter's folder the files made from the
// disc in the drive. Results are 0 or a negative errno, as FUSE takes them.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "disc_layout.h"
#include "drive_catalogue.h"
#include "view_path.h"

namespace qpx::fuse_view {

inline constexpr const char* kImageBinName = "image.bin";

struct EntryAttributes {
    bool directory = false;
    std::uint64_t size = 0;
    std::chrono::system_clock::time_point modified;
};

// A file opened on one disc; reads of it fail once that disc is gone.
struct OpenFile {
    DriveSession* session = nullptr;  // sessions live as long as the view
    ViewFile file = ViewFile::data_iso;
    std::uint64_t generation = 0;
    std::shared_ptr<const DiscLayout> layout;
    std::string text;  // image.cue: the whole file
    std::uint64_t size = 0;
};

class DriveView {
public:
    explicit DriveView(DriveCatalogue& drives) : drives_(drives) {}

    int attributes(std::string_view path, EntryAttributes& out);
    int list(std::string_view path, std::vector<std::string>& names);
    int open(std::string_view path, std::unique_ptr<OpenFile>& out);
    // Bytes read into `out` (0 at or past the end of the file), or a negative errno.
    long read(const OpenFile& file, std::span<std::uint8_t> out, std::uint64_t offset);

private:
    // The session and disc of a drive path; a negative errno when there is none.
    int medium_of(const ViewPath& path, DriveSession*& session, MediumView& medium);
    long read_sectors(const OpenFile& file, std::span<std::uint8_t> out, std::uint64_t offset,
                      std::size_t sector_size);

    DriveCatalogue& drives_;
    const std::chrono::system_clock::time_point started_ = std::chrono::system_clock::now();
};

// Whether the disc has the file: data.iso needs a data track.
bool disc_has_file(const DiscLayout& layout, ViewFile file);
std::uint64_t file_size(const DiscLayout& layout, ViewFile file);

}  // namespace qpx::fuse_view
