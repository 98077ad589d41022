// The command line: no arguments show the tray icon, any argument hides it.
#include <gtest/gtest.h>

#include "player_options.h"

namespace qpx::player::test {
namespace {

TEST(PlayerOptions, AnyArgumentRunsWithoutTheTrayIcon) {
    std::string error;
    const auto plain = parse_player_options({}, error);
    ASSERT_TRUE(plain);
    EXPECT_TRUE(plain->tray);
    EXPECT_EQ(plain->alsa_device, "default");

    const auto sink = parse_player_options({"--file-sink", "/tmp/out.raw"}, error);
    ASSERT_TRUE(sink);
    EXPECT_FALSE(sink->tray);
    EXPECT_EQ(sink->file_sink, "/tmp/out.raw");
    const auto device = parse_player_options({"--device", "hw:1", "--no-tray"}, error);
    ASSERT_TRUE(device);
    EXPECT_FALSE(device->tray);
    EXPECT_EQ(device->alsa_device, "hw:1");

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--device"}, {"--file-sink", ""}, {"--loud"}, {"play.wav"}}) {
        error.clear();
        EXPECT_FALSE(parse_player_options(bad, error)) << bad[0];
        EXPECT_FALSE(error.empty()) << bad[0];
    }
}

}  // namespace
}  // namespace qpx::player::test
