#include "fuse_operations.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "drive_view.h"

namespace qpx::fuse_view {
namespace {

DriveView& view() { return *static_cast<DriveView*>(fuse_get_context()->private_data); }

OpenFile* open_file(const fuse_file_info* fi) { return reinterpret_cast<OpenFile*>(fi->fh); }

void* init(fuse_conn_info*, fuse_config* config) {
    // Nothing is cached in the kernel: every call asks the drive, so an
    // insert or eject shows at once, and reads go straight to the drive.
    config->entry_timeout = 0;
    config->attr_timeout = 0;
    config->negative_timeout = 0;
    config->direct_io = 1;
    config->kernel_cache = 0;
    config->use_ino = 0;
    return fuse_get_context()->private_data;
}

int get_attributes(const char* path, struct stat* st, fuse_file_info*) {
    EntryAttributes a;
    if (const int r = view().attributes(path, a)) return r;
    std::memset(st, 0, sizeof *st);
    st->st_mode = a.directory ? (S_IFDIR | 0555) : (S_IFREG | 0444);
    st->st_nlink = a.directory ? 2 : 1;
    st->st_size = static_cast<off_t>(a.size);
    // Programs that size their reads by it (cat, cp) ask for large pieces.
    st->st_blksize = 1 << 20;
    st->st_blocks = static_cast<blkcnt_t>((a.size + 511) / 512);
    st->st_uid = fuse_get_context()->uid;
    st->st_gid = fuse_get_context()->gid;
    const auto seconds = std::chrono::system_clock::to_time_t(a.modified);
    st->st_mtim.tv_sec = st->st_ctim.tv_sec = st->st_atim.tv_sec = seconds;
    return 0;
}

int read_directory(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
                   fuse_readdir_flags) {
    std::vector<std::string> names;
    if (const int r = view().list(path, names)) return r;
    fill(buffer, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    fill(buffer, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    for (const auto& name : names) fill(buffer, name.c_str(), nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    return 0;
}

int open(const char* path, fuse_file_info* fi) {
    if ((fi->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
    std::unique_ptr<OpenFile> file;
    if (const int r = view().open(path, file)) return r;
    fi->fh = reinterpret_cast<std::uint64_t>(file.release());
    fi->direct_io = 1;
    fi->keep_cache = 0;
    return 0;
}

int read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* fi) {
    if (offset < 0) return -EINVAL;
    const long r = view().read(*open_file(fi), {reinterpret_cast<std::uint8_t*>(buffer), size},
                               static_cast<std::uint64_t>(offset));
    return static_cast<int>(r);
}

int release(const char*, fuse_file_info* fi) {
    delete open_file(fi);
    return 0;
}

}  // namespace

fuse_operations view_operations() {
    fuse_operations ops{};
    ops.init = init;
    ops.getattr = get_attributes;
    ops.readdir = read_directory;
    ops.open = open;
    ops.read = read;
    ops.release = release;
    return ops;
}

}  // namespace qpx::fuse_view
