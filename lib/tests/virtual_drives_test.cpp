#include <cstring>

#include "lib_fixture.h"

namespace qpx::testing {
namespace {

using VirtualDrivesTest = LibraryTest;

TEST_F(VirtualDrivesTest, EmulatedDrivesAreFoundAmongOtherLetters) {
    ASSERT_EQ(drives::publish_scsi_port(0, "atapi"), reg::kSuccess);
    publish_virtual_drive('G', 0);  // port 1
    publish_virtual_drive('E', 1);
    drives::DriveEntry real{'F', drives::DriveType::CdRom, drives::ScsiAddress{0, 0, 1, 0}, "/dev/sr0"};
    ASSERT_EQ(drives::publish(real), reg::kSuccess);
    drives::DriveEntry disk{'C', drives::DriveType::Fixed, std::nullopt, "/"};
    ASSERT_EQ(drives::publish(disk), reg::kSuccess);

    EXPECT_EQ(QPXGetNTScsiPort(), 1);
    const int32_t mask = QPXGetDriveMask();
    EXPECT_EQ(static_cast<uint32_t>(mask), 0xFFFFFFFFu & ~(1u << 4) & ~(1u << 6));

    char buf[28];
    EXPECT_EQ(QPXGetDriveLetters(buf, 0), mask);
    EXPECT_STREQ(buf, "EG") << "letter order";
    EXPECT_EQ(QPXGetDriveLetters(buf, 2), mask);
    EXPECT_STREQ(buf, "GE") << "drive-number order";

    ASSERT_EQ(QPXSetContainerFiles(";/c/b.qim;"), 0);
    EXPECT_EQ(QPXGetDriveLetters(buf, 1), mask);
    EXPECT_STREQ(buf, "E") << "drive 1 holds a container";

    EXPECT_EQ(QPXGetDriveUnit('g'), 0);
    EXPECT_EQ(QPXGetDriveUnit('E'), 1);
    EXPECT_EQ(QPXGetDriveUnit('F'), -1) << "a real CD-ROM drive is no emulated drive";
    EXPECT_EQ(QPXGetDriveUnit('3'), -1);
}

TEST_F(VirtualDrivesTest, WithoutTheDriverNothingIsFound) {
    char buf[28] = "junk";
    EXPECT_EQ(QPXGetNTScsiPort(), -1);
    EXPECT_EQ(QPXGetDriveMask(), -1);
    EXPECT_EQ(QPXGetDriveLetters(buf, 0), -1);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(QPXGetDriveUnit('G'), -1);
}

TEST_F(VirtualDrivesTest, PortNumbersComeFromThePortNamesAndGapsEndTheDriveOrder) {
    for (int p = 0; p < 10; ++p) ASSERT_EQ(drives::publish_scsi_port(p, "other"), reg::kSuccess);
    publish_virtual_drive('K', 0, 10);  // "Scsi Port 10" sorts before "Scsi Port 2"
    publish_virtual_drive('M', 2, 10);  // drive 1 has no letter
    EXPECT_EQ(QPXGetNTScsiPort(), 10);
    char buf[28];
    QPXGetDriveLetters(buf, 2);
    EXPECT_STREQ(buf, "K");
    EXPECT_EQ(QPXGetDriveUnit('M'), -1);

    // Drives past the letters' room never write beyond the buffer.
    publish_virtual_drive('Z', 40, 10);
    std::memset(buf, 'x', sizeof buf);
    QPXGetDriveLetters(buf, 2);
    EXPECT_STREQ(buf, "K");
}

TEST_F(VirtualDrivesTest, DriveCountIsWrittenForTheProgramsAndTheDriver) {
    set_catalogue_dword("NumberOfCDROMs", 2);
    EXPECT_EQ(QPXChangeNumberOfDrives(2, 'G'), 0);
    EXPECT_EQ(dword_of(kServiceKey, "NumberOfCDROMs"), 0xDEADBEEFu) << "same count: nothing written";
    EXPECT_EQ(QPXChangeNumberOfDrives(0, 0), 0);
    EXPECT_EQ(QPXGetNumberOfUnits(), 2);

    EXPECT_EQ(QPXChangeNumberOfDrives(4, 'k'), 0);
    EXPECT_EQ(QPXGetNumberOfUnits(), 4);
    EXPECT_EQ(dword_of(kServiceKey, "NumberofCDROMs"), 4u);
    std::string first;
    EXPECT_EQ(reg::read_string(reg::Hive::LocalMachine, kServiceKey, "FirstDriveLetter", first), reg::kSuccess);
    EXPECT_EQ(first, "K") << "the port host gives its drives letters from here on";

    protect(kServiceKey);
    EXPECT_EQ(QPXChangeNumberOfDrives(6, 0), 2);
    EXPECT_EQ(QPXGetNumberOfUnits(), 6) << "the library key was written first";
    EXPECT_EQ(dword_of(kServiceKey, "NumberOfCDROMs"), 4u);
}

TEST(Redbook, ConvertsBetweenSectorsAndPackedTime) {
    struct Case {
        int32_t lba;
        uint32_t msf;
    } cases[] = {{0, 0x00000200}, {16, 0x00000210}, {355350, 0x004F0000}, {-150, 0}, {74, 0x0000024A},
                 {449849, 0x00633B4A} /* 99:59:74 */};
    for (const auto& c : cases) {
        EXPECT_EQ(QPXCvtToRedbook(c.lba), c.msf) << c.lba;
        EXPECT_EQ(QPXCvtFromRedbook(c.msf), c.lba) << std::hex << c.msf;
    }
    EXPECT_EQ(QPXCvtToRedbook(-151), 0u) << "before the disc's start";
}

}  // namespace
}  // namespace qpx::testing
