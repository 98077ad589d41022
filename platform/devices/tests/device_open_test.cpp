// Opening devices by name: which names lead where, and how often an open
// is tried when the port host cannot be reached (with waits that only record).
#include <gtest/gtest.h>

#include "devices/device.h"
#include "support/temp_dir.h"

namespace qpx::devices {
namespace {

TEST(DeviceName, PortsAndLettersAsProgramsSpellThem) {
    struct Case {
        const char* name;
        DeviceName::Kind kind;
        int port;
        char letter;
    } cases[] = {
        {"\\\\.\\Scsi1:", DeviceName::Kind::port, 1, 0},
        {"\\\\.\\SCSI12:", DeviceName::Kind::port, 12, 0},
        {"\\\\.\\g:", DeviceName::Kind::drive, -1, 'G'},
        {"\\\\.\\Z:", DeviceName::Kind::drive, -1, 'Z'},
    };
    const char* invalid[] = {"\\\\.\\Scsi:", "\\\\.\\Scsi256:", "\\\\.\\Scsi-1:", "\\\\.\\Scsi1",
                             "\\\\.\\G:\\",  "\\\\.\\GH:",      "\\\\.\\3:",      "G:", ""};
    for (const char* name : invalid) EXPECT_FALSE(parse_device_name(name)) << name;
    for (const auto& c : cases) {
        const auto parsed = parse_device_name(c.name);
        ASSERT_TRUE(parsed) << c.name;
        EXPECT_EQ(parsed->kind, c.kind) << c.name;
        EXPECT_EQ(parsed->port, c.port) << c.name;
        EXPECT_EQ(parsed->letter, c.letter) << c.name;
    }
}

class DeviceOpen : public ::testing::Test {
protected:
    OpenRetry recording() {
        return OpenRetry{5, std::chrono::milliseconds(1000), [this](std::chrono::milliseconds w) { waits_.push_back(w); }};
    }
    testing::ScopedMachineRoot root_;
    std::vector<std::chrono::milliseconds> waits_;
};

TEST_F(DeviceOpen, AnUnreachableHostIsTriedFiveTimesOneSecondApart) {
    ASSERT_EQ(drives::publish_scsi_port(0, "qpxmport"), reg::kSuccess);
    ASSERT_EQ(drives::publish({'G', drives::DriveType::CdRom, drives::ScsiAddress{0, 1, 0, 0}, "qpxmport"}),
              reg::kSuccess);
    for (const char* name : {"\\\\.\\Scsi0:", "\\\\.\\G:"}) {
        waits_.clear();
        Device device;
        EXPECT_EQ(Device::open(name, device, recording()), DeviceErrc::host_not_running) << name;
        EXPECT_EQ(waits_, std::vector<std::chrono::milliseconds>(4, std::chrono::milliseconds(1000))) << name;
        EXPECT_FALSE(device.is_open());
    }
    // An unknown letter may yet be published: tried as often.
    waits_.clear();
    Device device;
    EXPECT_EQ(Device::open("\\\\.\\K:", device, recording()), DeviceErrc::no_such_device);
    EXPECT_EQ(waits_.size(), 4u);
}

TEST_F(DeviceOpen, WhatNoRetryCanMendFailsAtOnce) {
    ASSERT_EQ(drives::publish_scsi_port(0, "atapi"), reg::kSuccess);
    ASSERT_EQ(drives::publish({'F', drives::DriveType::CdRom, drives::ScsiAddress{0, 0, 1, 0}, "/dev/sr0"}),
              reg::kSuccess);
    ASSERT_EQ(drives::publish({'C', drives::DriveType::Fixed, std::nullopt, "/"}), reg::kSuccess);
    struct Case {
        const char* name;
        DeviceErrc expected;
    } cases[] = {{"G:", DeviceErrc::invalid_name},
                 {"\\\\.\\F:", DeviceErrc::not_served},
                 {"\\\\.\\C:", DeviceErrc::not_served},
                 {"\\\\.\\Scsi0:", DeviceErrc::not_served}};
    for (const auto& c : cases) {
        Device device;
        const std::error_code ec = Device::open(c.name, device, recording());
        EXPECT_EQ(ec, c.expected) << c.name;
        EXPECT_FALSE(ec.message().empty());
    }
    EXPECT_TRUE(waits_.empty());

    Device closed;
    drives::ScsiAddress address;
    EXPECT_EQ(closed.get_address(address), DeviceErrc::not_open);
}

}  // namespace
}  // namespace qpx::devices
