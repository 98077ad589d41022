// Where qpxfuse mounts the view and how it runs: the configured mount point,
// the background mode, and clear refusals.
#include <gtest/gtest.h>

#include "mounted_view.h"
#include "qpxdrv.h"
#include "registry/registry.h"

namespace qpx::testing {
namespace {

namespace fs = std::filesystem;

void configure_mount_point(const fs::path& where) {
    reg::Key key;
    ASSERT_EQ(reg::Key::create(reg::Hive::LocalMachine, kPortHostServiceKey, key), reg::kSuccess);
    ASSERT_EQ(key.set_string("FuseMountPoint", where.string()), reg::kSuccess);
}

TEST(MountPoint, DaemonModeMountsAtTheConfiguredPlaceAndReturns) {
    if (const auto why = fuse_unavailable_reason(); !why.empty()) GTEST_SKIP() << why;
    ScopedMachineRoot root;
    configure_port_host(1);
    PortHostProcess host;
    ASSERT_TRUE(host.wait_ready()) << host.log();
    const fs::path where = root.path() / "configured view";
    configure_mount_point(where);

    std::string out;
    const int rc = run_command(program_path("qpxfuse").string() + " --daemon 2>&1", &out);
    const bool mounted = is_mounted(where);
    std::string listing;
    if (mounted) run_command("ls '" + where.string() + "'", &listing);
    unmount(where);
    EXPECT_EQ(rc, 0) << out;
    ASSERT_TRUE(mounted) << out;
    char letters[32] = {};
    ASSERT_NE(QPXGetDriveLetters(letters, 0), -1);
    EXPECT_EQ(listing, std::string(letters) + "\n");
    EXPECT_TRUE(wait_mounted(where, false));
}

TEST(MountPoint, RefusedWithoutAPlaceOrOnAFile) {
    if (const auto why = fuse_unavailable_reason(); !why.empty()) GTEST_SKIP() << why;
    ScopedMachineRoot root;
    struct Case {
        std::string args;
        int status;
        const char* says;
    };
    std::ofstream(root.path() / "a file") << "x";
    const Case cases[] = {
        {"", 2, "FuseMountPoint"},
        {"--bogus", 2, "unknown option"},
        {"'" + (root.path() / "a file").string() + "'", 1, "a file"},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(run_command(program_path("qpxfuse").string() + " " + c.args + " 2>&1", &out), c.status) << c.args;
        EXPECT_NE(out.find(c.says), std::string::npos) << out;
    }
}

TEST(MountPoint, ForegroundModeEndsOnSignalAndUnmounts) {
    MountedView view;
    if (!view.ready()) GTEST_SKIP() << view.error();
    EXPECT_TRUE(view.view().running());
    EXPECT_EQ(view.view().stop(), std::optional<int>(0)) << view.logs();
    EXPECT_TRUE(wait_mounted(view.mount_point(), false));
}

}  // namespace
}  // namespace qpx::testing
