// data.iso through the mounted view: byte for byte the ISO the container was
// made from, whatever the container's storage, and readable by programs we
// did not write.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "mounted_view.h"
#include "qpxdrv.h"
#include "support/cue_bin_fixture.h"

namespace qpx::testing {
namespace {

namespace fs = std::filesystem;

std::string shell_output(const std::string& command) {
    std::string out;
    const int rc = run_command(command + " 2>&1", &out);
    return "exit " + std::to_string(rc) + "\n" + out;
}

class DataIso : public ::testing::TestWithParam<int> {};

TEST_P(DataIso, EqualsTheSourceIsoAndOtherProgramsReadIt) {
    MountedView view;
    if (!view.ready()) GTEST_SKIP() << view.error();
    TempDir dir("fuse-iso");
    const fs::path iso = make_small_iso(dir.path());
    const fs::path container = make_container(iso, dir / "disc.qim", GetParam());
    ASSERT_NE(QPXInsert(0, container.c_str()), 0);

    const fs::path data = view.file(0, "data.iso");
    EXPECT_EQ(fs::file_size(data), fs::file_size(iso)) << view.logs();
    EXPECT_EQ(run_command("cmp '" + iso.string() + "' '" + data.string() + "'"), 0) << view.logs();

    const std::string info = shell_output("isoinfo -d -i '" + data.string() + "'");
    EXPECT_NE(info.find("Volume id: QPXTEST"), std::string::npos) << info;
    const std::string listing = shell_output("bsdtar tf '" + data.string() + "'");
    EXPECT_NE(listing.find("README.TXT"), std::string::npos) << listing;
    EXPECT_NE(listing.find("docs/stdio.h"), std::string::npos) << listing;
    EXPECT_NE(listing.find("noise.bin"), std::string::npos) << listing;
}

// Plain, normal-compressed and maximal-compressed containers.
INSTANTIATE_TEST_SUITE_P(Storage, DataIso, ::testing::Values(0, 1, 6));

TEST(DataIsoReads, PiecesAtAnyOffsetAndNoWrites) {
    MountedView view;
    if (!view.ready()) GTEST_SKIP() << view.error();
    TempDir dir("fuse-pieces");
    const fs::path iso = make_small_iso(dir.path());
    ASSERT_NE(QPXInsert(0, make_container(iso, dir / "disc.qim", 1).c_str()), 0);
    const auto bytes = file_bytes(iso);
    const fs::path data = view.file(0, "data.iso");

    const int fd = ::open(data.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0) << std::strerror(errno) << view.logs();
    const std::uint64_t size = bytes.size();
    // Inside a sector, across sector and transfer boundaries, the last bytes, past the end.
    const std::pair<std::uint64_t, std::size_t> pieces[] = {
        {0, 1},          {2047, 2},          {1000, 5000},         {65536 - 3, 70000},
        {16 * 2048, 2048}, {size - 100, 100}, {size - 10, 4096}, {size, 10}, {size + 4096, 10}};
    for (const auto& [offset, length] : pieces) {
        std::vector<std::uint8_t> got(length, 0xEE);
        const ssize_t n = ::pread(fd, got.data(), length, static_cast<off_t>(offset));
        const std::size_t expected = offset >= size ? 0 : std::min<std::uint64_t>(length, size - offset);
        ASSERT_EQ(n, static_cast<ssize_t>(expected)) << "offset " << offset << ": " << std::strerror(errno);
        EXPECT_TRUE(std::equal(got.begin(), got.begin() + n, bytes.begin() + static_cast<std::ptrdiff_t>(offset)))
            << "offset " << offset;
    }
    ::close(fd);

    EXPECT_EQ(::open(data.c_str(), O_WRONLY), -1);
    EXPECT_EQ(errno, EROFS);
    EXPECT_EQ(::open((view.mount_point() / std::string(1, view.letter(0)) / "new").c_str(), O_CREAT | O_WRONLY, 0644), -1);
}

}  // namespace
}  // namespace qpx::testing
