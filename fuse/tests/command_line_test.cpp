// The command line and where the view is mounted.
#include <gtest/gtest.h>

#include "command_line.h"
#include "mount_config.h"
#include "registry/registry.h"
#include "support/temp_dir.h"

namespace qpx::fuse_view {
namespace {

std::optional<Options> parse(std::vector<std::string> args, std::string& error) { return parse_command_line(args, error); }

TEST(CommandLine, ModesAndMountPoint) {
    std::string error;
    const auto plain = parse({}, error);
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->daemon);
    EXPECT_FALSE(plain->mount_point);

    const auto daemon = parse({"--daemon", "/mnt/qpx", "--debug"}, error);
    ASSERT_TRUE(daemon);
    EXPECT_TRUE(daemon->daemon);
    EXPECT_TRUE(daemon->debug);
    EXPECT_EQ(daemon->mount_point, std::filesystem::path("/mnt/qpx"));
}

TEST(CommandLine, RefusedArguments) {
    const std::vector<std::vector<std::string>> refused = {
        {"--daemon", "--foreground"}, {"/a", "/b"}, {"--mount"}, {"-x"}, {""}};
    for (const auto& args : refused) {
        std::string error;
        EXPECT_FALSE(parse(args, error)) << args.front();
        EXPECT_FALSE(error.empty());
    }
}

TEST(MountPoint, CommandLineWinsOverTheConfiguration) {
    testing::ScopedMachineRoot root;
    std::string error;
    EXPECT_FALSE(resolve_mount_point(std::nullopt, error));
    EXPECT_NE(error.find("FuseMountPoint"), std::string::npos) << error;

    reg::Key key;
    ASSERT_EQ(reg::Key::create(reg::Hive::LocalMachine, kPortHostServiceKey, key), reg::kSuccess);
    ASSERT_EQ(key.set_string(kMountPointValue, "relative/place"), reg::kSuccess);
    EXPECT_FALSE(resolve_mount_point(std::nullopt, error));
    EXPECT_NE(error.find("absolute"), std::string::npos) << error;

    ASSERT_EQ(key.set_string(kMountPointValue, "/srv/qpx view"), reg::kSuccess);
    EXPECT_EQ(resolve_mount_point(std::nullopt, error), std::filesystem::path("/srv/qpx view"));
    EXPECT_EQ(resolve_mount_point(std::filesystem::path("/elsewhere"), error), std::filesystem::path("/elsewhere"));
    EXPECT_EQ(resolve_mount_point(std::filesystem::path("rel"), error), std::filesystem::current_path() / "rel");
}

}  // namespace
}  // namespace qpx::fuse_view
