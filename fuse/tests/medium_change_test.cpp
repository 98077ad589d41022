// Inserts, ejects and a port host that goes away, as a program reading the
// view sees them: empty drives answer ENOMEDIUM, a file whose disc was taken
// out fails its reads, and the next disc shows at once.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "mounted_view.h"
#include "qpxdrv.h"
#include "support/cue_bin_fixture.h"
#include "support/iso_fixture.h"

namespace qpx::testing {
namespace {

namespace fs = std::filesystem;

int stat_errno(const fs::path& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 ? 0 : errno;
}

int list_errno(const fs::path& dir, std::vector<std::string>* names = nullptr) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return errno;
    errno = 0;
    while (dirent* e = ::readdir(d))
        if (names && e->d_name[0] != '.') names->push_back(e->d_name);
    const int error = errno;
    ::closedir(d);
    return error;
}

// A second disc: another tree, so its ISO differs from the first.
fs::path other_iso(const fs::path& dir) {
    fs::create_directories(dir / "other");
    std::ofstream(dir / "other" / "SECOND.TXT") << "the second disc\n";
    write_incompressible_file(dir / "other" / "more.bin", 300 * 1024, 11);
    make_iso_image(dir / "other", dir / "other.iso");
    return dir / "other.iso";
}

TEST(MediumChange, EmptyDrivesAnswerNoMedium) {
    MountedView view(2);
    if (!view.ready()) GTEST_SKIP() << view.error();
    std::vector<std::string> drives;
    ASSERT_EQ(list_errno(view.mount_point(), &drives), 0);
    std::sort(drives.begin(), drives.end());
    EXPECT_EQ(drives, (std::vector<std::string>{std::string(1, view.letter(0)), std::string(1, view.letter(1))}));

    const fs::path folder = view.mount_point() / std::string(1, view.letter(1));
    EXPECT_EQ(stat_errno(folder), 0);
    EXPECT_EQ(list_errno(folder), ENOMEDIUM);
    for (const char* name : {"data.iso", "image.cue", "image.bin"}) {
        EXPECT_EQ(stat_errno(folder / name), ENOMEDIUM) << name;
        EXPECT_EQ(::open((folder / name).c_str(), O_RDONLY), -1);
        EXPECT_EQ(errno, ENOMEDIUM) << name;
    }
    EXPECT_EQ(stat_errno(folder / "other.txt"), ENOENT);
    EXPECT_EQ(stat_errno(view.mount_point() / "Q"), ENOENT);
}

TEST(MediumChange, EjectFailsOpenFilesAndTheNextDiscShowsAtOnce) {
    MountedView view;
    if (!view.ready()) GTEST_SKIP() << view.error();
    TempDir dir("fuse-change");
    const fs::path first = make_small_iso(dir.path());
    const fs::path second = other_iso(dir.path());
    ASSERT_NE(QPXInsert(0, make_container(first, dir / "first.qim").c_str()), 0);
    const fs::path data = view.file(0, "data.iso");

    const int fd = ::open(data.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0) << std::strerror(errno) << view.logs();
    std::vector<std::uint8_t> buffer(4096);
    ASSERT_EQ(::pread(fd, buffer.data(), buffer.size(), 0), 4096);

    ASSERT_NE(QPXEject(0), 0);
    EXPECT_EQ(::pread(fd, buffer.data(), buffer.size(), 32768), -1);
    EXPECT_EQ(errno, ENOMEDIUM);
    EXPECT_EQ(stat_errno(data), ENOMEDIUM);

    ASSERT_NE(QPXInsert(0, make_container(second, dir / "second.qim", 1).c_str()), 0);
    // The file opened on the first disc does not read the second.
    EXPECT_EQ(::pread(fd, buffer.data(), buffer.size(), 0), -1);
    EXPECT_EQ(errno, EIO);
    ::close(fd);
    EXPECT_EQ(fs::file_size(data), fs::file_size(second));
    EXPECT_EQ(run_command("cmp '" + second.string() + "' '" + data.string() + "'"), 0) << view.logs();
}

TEST(MediumChange, APortHostThatIsGoneGivesIoErrorsUntilItIsBack) {
    MountedView view;
    if (!view.ready()) GTEST_SKIP() << view.error();
    TempDir dir("fuse-host");
    const fs::path iso = make_small_iso(dir.path());
    ASSERT_NE(QPXInsert(0, make_container(iso, dir / "disc.qim").c_str()), 0);
    const fs::path data = view.file(0, "data.iso");
    ASSERT_EQ(stat_errno(data), 0) << view.logs();
    const int fd = ::open(data.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);

    view.host().stop();
    std::vector<std::uint8_t> buffer(2048);
    EXPECT_EQ(::pread(fd, buffer.data(), buffer.size(), 0), -1);
    EXPECT_EQ(errno, EIO) << std::strerror(errno);
    const int after = stat_errno(data);
    EXPECT_TRUE(after == EIO || after == ENOENT) << std::strerror(after);
    ::close(fd);

    view.restart_host();
    EXPECT_EQ(run_command("cmp '" + iso.string() + "' '" + data.string() + "'"), 0) << view.logs();
    EXPECT_TRUE(view.view().running());
}

}  // namespace
}  // namespace qpx::testing
