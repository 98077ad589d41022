// Drive letters for disc images and physical drives, and the qpxdisc command.
#include <gtest/gtest.h>

#include <fstream>

#include "cdrom/drive_opener.h"
#include "cdrom/drive_registration.h"
#include "support/temp_dir.h"
#include "support/test_discs.h"

namespace qpx::cdrom {
namespace {

using testing::test_discs;

class DriveRegistration : public ::testing::Test {
protected:
    testing::ScopedMachineRoot root_;

    static void publish(char letter, drives::DriveType type, const std::string& device) {
        drives::DriveEntry e;
        e.letter = letter;
        e.type = type;
        e.device = device;
        ASSERT_EQ(drives::publish(e), reg::kSuccess);
    }
};

TEST_F(DriveRegistration, AttachedImageGetsTheFirstFreeLetterAndReads) {
    publish('D', drives::DriveType::Fixed, "/dev/sda1");
    char letter = 0;
    std::string error;
    ASSERT_TRUE(attach_image(test_discs().mixed.cue, std::nullopt, letter, error)) << error;
    EXPECT_EQ(letter, 'E');
    auto entry = drives::entry('E');
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->type, drives::DriveType::CdRom);
    EXPECT_EQ(entry->device, std::filesystem::canonical(test_discs().mixed.cue).string());
    EXPECT_FALSE(entry->scsi);  // never mistaken for a drive of the port host

    OpenedDrive drive;
    ASSERT_TRUE(open_drive('e', drive, error)) << error;
    std::vector<std::uint8_t> sector(kUserDataSize);
    ASSERT_EQ(drive.disc->read(16, 1, SectorForm::UserData, sector), ReadStatus::Ok);
    EXPECT_EQ(std::string(sector.begin() + 1, sector.begin() + 6), "CD001");
}

TEST_F(DriveRegistration, AttachRefusalsLeaveTheTableAlone) {
    testing::TempDir dir("attach");
    std::ofstream(dir / "broken.cue") << "FILE \"gone.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    std::ofstream(dir / "notes.txt") << "hello";
    publish('G', drives::DriveType::CdRom, "qpxmport");
    char letter = 0;
    std::string error;
    ASSERT_TRUE(attach_image(test_discs().mixed.cue, 'F', letter, error)) << error;
    const auto before = drives::logical_drives();

    struct Case {
        std::filesystem::path image;
        std::optional<char> letter;
        const char* reason;
    } cases[] = {
        {test_discs().mixed.cue, std::nullopt, "attached already as F:"},
        {test_discs().other.cue, 'G', "G: is in use by qpxmport"},
        {test_discs().other.cue, '3', "not a drive letter"},
        {dir / "broken.cue", std::nullopt, "cannot be read"},
        {dir / "notes.txt", std::nullopt, "not a disc image"},
        {dir / "absent.cue", std::nullopt, "no such image file"},
    };
    for (const Case& c : cases) {
        error.clear();
        EXPECT_FALSE(attach_image(c.image, c.letter, letter, error)) << c.image;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
    EXPECT_EQ(drives::logical_drives(), before);
}

TEST_F(DriveRegistration, DetachTakesImagesBackButNotEmulatedDrives) {
    publish('G', drives::DriveType::CdRom, "qpxmport");
    char letter = 0;
    std::string error;
    ASSERT_TRUE(attach_image(test_discs().mixed.cue, std::nullopt, letter, error)) << error;
    EXPECT_FALSE(detach_drive('G', error));
    EXPECT_NE(error.find("emulated"), std::string::npos);
    EXPECT_FALSE(detach_drive('Q', error));
    ASSERT_TRUE(detach_drive(letter, error)) << error;
    EXPECT_FALSE(drives::entry(letter));
    EXPECT_TRUE(drives::entry('G'));
}

TEST_F(DriveRegistration, ScanLettersNewDrivesAndDropsVanishedOnes) {
    char image_letter = 0;
    std::string error;
    ASSERT_TRUE(attach_image(test_discs().mixed.cue, std::nullopt, image_letter, error)) << error;
    ASSERT_EQ(image_letter, 'D');

    auto first = register_physical_drives({"/dev/sr0", "/dev/sr1"});
    ASSERT_EQ(first.added.size(), 2u);
    EXPECT_EQ(first.added[0].letter, 'E');
    EXPECT_EQ(first.added[1].letter, 'F');
    EXPECT_TRUE(register_physical_drives({"/dev/sr0", "/dev/sr1"}).added.empty());  // nothing new

    auto second = register_physical_drives({"/dev/sr1"});
    ASSERT_EQ(second.removed.size(), 1u);
    EXPECT_EQ(second.removed[0].device, "/dev/sr0");
    EXPECT_TRUE(second.added.empty());
    EXPECT_FALSE(drives::entry('E'));
    EXPECT_EQ(drives::entry('F')->device, "/dev/sr1");
    EXPECT_TRUE(drives::entry('D'));  // images are not physical drives
}

TEST_F(DriveRegistration, CommandAttachesListsAndDetaches) {
    const std::string qpxdisc = testing::program_path("qpxdisc").string();
    const std::string cue = test_discs().mixed.cue.string();
    std::string out;
    ASSERT_EQ(testing::run_command(qpxdisc + " attach '" + cue + "' h:", &out), 0) << out;
    EXPECT_EQ(out, "H:\n");
    out.clear();
    ASSERT_EQ(testing::run_command(qpxdisc + " list", &out), 0);
    EXPECT_EQ(out, "H: " + std::filesystem::canonical(cue).string() + " (image)\n");
    out.clear();
    EXPECT_EQ(testing::run_command(qpxdisc + " attach '" + cue + "' 2>&1", &out), 1);
    EXPECT_NE(out.find("attached already as H:"), std::string::npos) << out;
    EXPECT_EQ(testing::run_command(qpxdisc + " detach H:"), 0);
    EXPECT_EQ(testing::run_command(qpxdisc + " detach H: 2>/dev/null"), 1);
    EXPECT_EQ(testing::run_command(qpxdisc + " frobnicate 2>/dev/null"), 2);
}

}  // namespace
}  // namespace qpx::cdrom
