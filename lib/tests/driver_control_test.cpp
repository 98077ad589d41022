// Inserting, ejecting and updating drives with a real port host on the
// test's machine root: what the list holds afterwards and which update
// requests reach the host, in which order (the host logs each one).
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "lib_fixture.h"
#include "port_host_process.h"

namespace qpx::testing {
namespace {

class DriverControlTest : public LibraryTest {
protected:
    void start_host(std::uint32_t drives, const char* first_letter = nullptr) {
        configure_port_host(drives, std::nullopt,
                            first_letter ? std::optional<std::string>(first_letter) : std::nullopt);
        host_ = std::make_unique<PortHostProcess>();
        ASSERT_TRUE(host_->wait_ready()) << host_->log();
    }
    void TearDown() override {
        if (host_) {
            EXPECT_EQ(host_->stop(), 0) << host_->log();
        }
    }
    // The update requests the host accepted or refused, in order.
    std::vector<std::string> updates() const {
        std::vector<std::string> out;
        const std::string log = host_->log();
        const std::string tag = "update drive: ";
        for (std::size_t at = log.find(tag); at != std::string::npos; at = log.find(tag, at + 1))
            out.push_back(log.substr(at + tag.size(), log.find('\n', at) - at - tag.size()));
        return out;
    }
    std::string list() const { return catalogue_text("ContainerFiles"); }

    std::unique_ptr<PortHostProcess> host_;
};

TEST_F(DriverControlTest, InsertingAContainerFromAnotherDriveEmptiesThatDriveFirst) {
    start_host(4);
    ASSERT_EQ(QPXSetContainerFiles(";;/discs/a.qim;;"), 0);
    EXPECT_NE(QPXInsert(0, "/discs/a.qim"), 0);
    EXPECT_EQ(list(), "/discs/a.qim;;;;");
    EXPECT_EQ(updates(), (std::vector<std::string>{"port 0 bus 1 target 2: accepted", "port 0 bus 1 target 0: accepted"}));
}

TEST_F(DriverControlTest, EjectingAnEmptyDriveStillSendsTheUpdate) {
    start_host(2);
    ASSERT_EQ(QPXSetContainerFiles("/discs/a.qim;;"), 0);
    EXPECT_NE(QPXEject(1), 0);
    EXPECT_EQ(list(), "/discs/a.qim;;");
    EXPECT_NE(QPXEject(0), 0);
    EXPECT_EQ(list(), ";;");
    EXPECT_EQ(updates(), (std::vector<std::string>{"port 0 bus 1 target 1: accepted", "port 0 bus 1 target 0: accepted"}));
}

TEST_F(DriverControlTest, WhatCannotBeStoredOrHasNoEntryIsRefusedAndTheListKept) {
    start_host(2);
    ASSERT_EQ(QPXSetContainerFiles("/discs/a.qim;;"), 0);
    struct Case {
        int drive;
        const char* path;
    } cases[] = {{2, "/discs/b.qim"}, {-1, "/discs/b.qim"}, {1, "/discs/b;c.qim"}, {1, "/discs/b,c.qim"}, {1, ""},
                 {1, nullptr}};
    for (const auto& c : cases) {
        EXPECT_EQ(QPXInsert(c.drive, c.path), 0) << c.drive << " " << (c.path ? c.path : "(null)");
        EXPECT_EQ(list(), "/discs/a.qim;;");
    }
    EXPECT_EQ(QPXEject(2), 0);
    EXPECT_TRUE(updates().empty());
}

TEST_F(DriverControlTest, VirtualLettersAroundARealCdRomDrive) {
    ASSERT_EQ(drives::publish({'F', drives::DriveType::CdRom, drives::ScsiAddress{0, 0, 1, 0}, "/dev/sr0"}),
              reg::kSuccess);
    ASSERT_EQ(drives::publish_scsi_port(0, "atapi"), reg::kSuccess);
    start_host(2, "E");
    char letters[28];
    const int32_t mask = QPXGetDriveLetters(letters, 0);
    EXPECT_STREQ(letters, "EG");
    EXPECT_EQ(static_cast<uint32_t>(mask), 0xFFFFFFFFu & ~(1u << 4) & ~(1u << 6));
    EXPECT_EQ(QPXGetDriveMask(), mask);
    EXPECT_EQ(QPXGetNTScsiPort(), 1);
    EXPECT_EQ(QPXGetDriveUnit('g'), 1);
    EXPECT_EQ(QPXGetDriveUnit('F'), -1);
    EXPECT_EQ(QPXGetDriveUnit('K'), -1);
    EXPECT_EQ(QPXGetVersionInfo(), 3);

    ASSERT_EQ(QPXSetContainerFiles(";;"), 0);
    EXPECT_NE(QPXInsert(1, "/discs/a.qim"), 0);
    EXPECT_EQ(updates(), (std::vector<std::string>{"port 1 bus 1 target 1: accepted"}));
    QPXGetDriveLetters(letters, 1);
    EXPECT_STREQ(letters, "G");
}

TEST_F(DriverControlTest, TheUpdateGoesToThePortThatOwnsTheDrive) {
    start_host(500);
    ASSERT_EQ(QPXSetContainerFiles(std::string(500, ';').c_str()), 0);
    EXPECT_NE(QPXInsert(450, "/discs/a.qim"), 0) << "drive 450 has no letter: found by its number";
    EXPECT_NE(QPXUpdateDriver(19), 0) << "drive 19 has the letter Z";
    EXPECT_EQ(QPXUpdateDriver(500), 0) << "no such drive: the host answers selection time-out";
    EXPECT_EQ(updates(), (std::vector<std::string>{"port 1 bus 1 target 2: accepted", "port 0 bus 3 target 3: accepted",
                                                   "port 1 bus 7 target 4: no such drive"}));

    // Mode 2 never writes past the letters' NUL, however many drives there are.
    char buffer[40];
    std::memset(buffer, 'x', sizeof buffer);
    QPXGetDriveLetters(buffer, 2);
    EXPECT_STREQ(buffer, "GHIJKLMNOPQRSTUVWXYZ");
    EXPECT_EQ(buffer[21], 'x');
}

TEST_F(DriverControlTest, WithoutThePortHostTheListChangesButTheInsertFails) {
    ASSERT_EQ(QPXSetContainerFiles(";;"), 0);
    EXPECT_EQ(QPXInsert(0, "/discs/a.qim"), 0) << "no port names qpxmport";
    EXPECT_EQ(list(), "/discs/a.qim;;");

    // Published but not running (a host that was killed): the device opens
    // fail after their retries, and the calls answer 0.
    start_host(2);
    ::kill(host_->pid(), SIGKILL);
    host_->wait_exit();
    host_.reset();
    setenv("QPX_DEVICE_RETRY_INTERVAL_MS", "0", 1);
    EXPECT_EQ(QPXEject(0), 0);
    EXPECT_EQ(QPXUpdateDriver(1), 0);
    unsetenv("QPX_DEVICE_RETRY_INTERVAL_MS");
    EXPECT_EQ(list(), ";;");
}

}  // namespace
}  // namespace qpx::testing
