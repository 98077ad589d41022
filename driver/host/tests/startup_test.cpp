// Starting and stopping qpxmport: configuration, what it publishes, one
// instance per root, daemon mode, and a host that did not end cleanly.
#include <gtest/gtest.h>

#include <fstream>

#include "drives/drive_letters.h"
#include "devices/frame_io.h"
#include "port_client_support.h"
#include "port_host_process.h"

namespace qpx::testing {
namespace {

std::string letters_of_port_host() {
    std::string out;
    for (const auto& e : drives::all_entries())
        if (e.device == "qpxmport") out += e.letter;
    return out;
}

// Whether a process that is not our child has ended (a zombie nobody reaps counts).
bool has_ended(pid_t pid) {
    if (::kill(pid, 0) != 0) return true;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string pid_field, name, state;
    stat >> pid_field >> name >> state;
    return state == "Z";
}

int port_host_ports() {
    int n = 0;
    for (const auto& p : drives::scsi_ports()) n += p.driver == "qpxmport";
    return n;
}

TEST(PortHostStartup, RefusesToStartWithoutDrives) {
    ScopedMachineRoot root;
    PortHostProcess unconfigured;
    EXPECT_EQ(unconfigured.wait_exit(), 1);
    EXPECT_NE(unconfigured.log().find("no emulated drives configured"), std::string::npos) << unconfigured.log();

    configure_port_host(0);
    PortHostProcess zero;
    EXPECT_EQ(zero.wait_exit(), 1);

    configure_port_host(4000000000u);
    PortHostProcess absurd;
    EXPECT_EQ(absurd.wait_exit(), 1);
    EXPECT_NE(absurd.log().find("is more than"), std::string::npos) << absurd.log();
    EXPECT_EQ(port_host_ports(), 0);
    EXPECT_FALSE(std::filesystem::exists(devices::port_socket_path()));
}

TEST(PortHostStartup, PublishesPortAndLettersAndWithdrawsThemOnSigterm) {
    ScopedMachineRoot root;
    configure_port_host(10);
    // H is taken by a physical drive: letters go around it.
    ASSERT_EQ(drives::publish({'H', drives::DriveType::CdRom, drives::ScsiAddress{0, 0, 1, 0}, "/dev/sr0"}),
              reg::kSuccess);
    ASSERT_EQ(drives::publish_scsi_port(0, "atapi"), reg::kSuccess);
    PortHostProcess host;
    ASSERT_TRUE(host.wait_ready()) << host.log();

    EXPECT_EQ(letters_of_port_host(), "GIJKLMNOPQ");
    const auto g = drives::entry('G');
    ASSERT_TRUE(g && g->scsi);
    EXPECT_EQ(g->type, drives::DriveType::CdRom);
    EXPECT_EQ(*g->scsi, (drives::ScsiAddress{1, 1, 0, 0})) << "port 0 is taken; drive 0 is bus 1 target 0";
    EXPECT_EQ(*drives::entry('Q')->scsi, (drives::ScsiAddress{1, 2, 1, 0})) << "drive 9";
    EXPECT_NE(host.log().find("10 buffer sets"), std::string::npos) << host.log();

    EXPECT_EQ(host.stop(), 0);
    EXPECT_EQ(letters_of_port_host(), "");
    EXPECT_EQ(port_host_ports(), 0);
    EXPECT_TRUE(drives::entry('H')) << "letters of others stay";
    EXPECT_FALSE(std::filesystem::exists(devices::port_socket_path()));
    EXPECT_FALSE(std::filesystem::exists(machine::run_dir() / "qpxmport.pid"));
}

TEST(PortHostStartup, FirstLetterIsConfigurable) {
    ScopedMachineRoot root;
    configure_port_host(3, std::nullopt, "x");
    PortHostProcess host;
    ASSERT_TRUE(host.wait_ready()) << host.log();
    EXPECT_EQ(letters_of_port_host(), "XYZ");
}

TEST(PortHostStartup, BufferSetsFollowTheSettingAndTheDriveCount) {
    struct Case {
        std::uint32_t drives, setting;
        const char* expected;
    } cases[] = {{10, 0, "10 buffer sets"}, {10, 101, "10 buffer sets"}, {10, 4, "4 buffer sets"},
                 {3, 0, "3 buffer sets"}, {12, 100, "12 buffer sets"}};
    for (const auto& c : cases) {
        ScopedMachineRoot root;
        configure_port_host(c.drives, c.setting);
        PortHostProcess host;
        ASSERT_TRUE(host.wait_ready()) << host.log();
        EXPECT_NE(host.log().find(c.expected), std::string::npos) << c.drives << "/" << c.setting << ": " << host.log();
    }
}

TEST(PortHostStartup, OneHostPerRoot) {
    ScopedMachineRoot root;
    configure_port_host(2);
    PortHostProcess first;
    ASSERT_TRUE(first.wait_ready()) << first.log();
    PortHostProcess second;
    EXPECT_EQ(second.wait_exit(), 1);
    EXPECT_NE(second.log().find("already serves"), std::string::npos) << second.log();

    // The first one is untouched by the attempt.
    auto device = open_or_fail("\\\\.\\G:");
    EXPECT_EQ(inquiry(device).srb_status, kSrbSuccess);
    EXPECT_EQ(letters_of_port_host(), "GH");
}

TEST(PortHostStartup, DaemonDetachesAndEndsOnSigterm) {
    ScopedMachineRoot root;
    configure_port_host(1);
    PortHostProcess launcher({"--daemon"});
    ASSERT_EQ(launcher.wait_exit(), 0) << "the launching process returns once the daemon serves";
    pid_t daemon = 0;
    std::ifstream(machine::run_dir() / "qpxmport.pid") >> daemon;
    ASSERT_GT(daemon, 0);
    EXPECT_NE(daemon, launcher.pid());
    auto device = open_or_fail("\\\\.\\G:");
    EXPECT_EQ(inquiry(device).srb_status, kSrbSuccess);
    device.close();

    ASSERT_EQ(::kill(daemon, SIGTERM), 0);
    // Not our child: wait for its pid file to go (bounded), then for the process.
    const auto until = std::chrono::steady_clock::now() + PortHostProcess::kTimeout;
    while (!has_ended(daemon) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const bool ended = has_ended(daemon);
    EXPECT_FALSE(std::filesystem::exists(machine::run_dir() / "qpxmport.pid"));
    if (!ended) ::kill(daemon, SIGKILL);
    EXPECT_TRUE(ended);
    EXPECT_EQ(letters_of_port_host(), "");
}

TEST(PortHostStartup, StartsAgainAfterAHostThatWasKilled) {
    ScopedMachineRoot root;
    configure_port_host(2);
    {
        PortHostProcess crashed;
        ASSERT_TRUE(crashed.wait_ready()) << crashed.log();
        ::kill(crashed.pid(), SIGKILL);
        crashed.wait_exit();
    }
    ASSERT_EQ(letters_of_port_host(), "GH") << "a killed host leaves its letters behind";
    PortHostProcess host;
    ASSERT_TRUE(host.wait_ready()) << host.log();
    EXPECT_EQ(letters_of_port_host(), "GH") << "the leftovers are replaced, not added to";
    EXPECT_EQ(port_host_ports(), 1);
    auto device = open_or_fail("\\\\.\\H:");
    EXPECT_EQ(inquiry(device).srb_status, kSrbSuccess);
}

TEST(PortHostStartup, FiveHundredDrivesMakeTwoPorts) {
    ScopedMachineRoot root;
    configure_port_host(500);
    PortHostProcess host;
    ASSERT_TRUE(host.wait_ready()) << host.log();
    std::vector<int> ports;
    for (const auto& p : drives::scsi_ports())
        if (p.driver == "qpxmport") ports.push_back(p.number);
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_NE(host.log().find("448 drives, 57 buses"), std::string::npos) << host.log();
    EXPECT_NE(host.log().find("52 drives, 8 buses"), std::string::npos) << host.log();
    EXPECT_EQ(letters_of_port_host(), "GHIJKLMNOPQRSTUVWXYZ");

    auto second = open_or_fail(port_device(1));
    // Drive 499 is the second port's drive 51: bus 7, target 3.
    EXPECT_EQ(inquiry(second, 7, 3).data[0], 0x05);
    EXPECT_EQ(inquiry(second, 7, 4).srb_status, kSrbSelectionTimeout);
    auto first = open_or_fail(port_device(0));
    EXPECT_EQ(inquiry(first, 56, 7).data[0], 0x05) << "drive 447";
    EXPECT_EQ(inquiry(first, 57, 0).srb_status, kSrbSelectionTimeout);
}

}  // namespace
}  // namespace qpx::testing
