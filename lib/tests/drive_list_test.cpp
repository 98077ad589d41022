#include <cstring>

#include "lib_fixture.h"

namespace qpx::testing {
namespace {

struct PositionCase {
    const char* list;
    int k;
    int result;
    const char* entry;
};

TEST(DriveListText, EntriesByPosition) {
    const PositionCase cases[] = {
        {"a;b;", 0, 1, "a"},   {"a;b;", 1, 1, "b"},  {"a;b;", 2, 1, ""}, {"a;b;", 3, 0, nullptr},
        {"a;;c;", 1, 1, ""},   {"a;;c;", 2, 1, "c"}, {"a;b", 1, 1, "b"}, {"a;b", 2, 0, nullptr},
        {"", 0, 1, ""},        {"", 1, 0, nullptr},  {"a;b;", -1, 0, nullptr},
    };
    for (const auto& c : cases) {
        char buf[32];
        std::memset(buf, 'Z', sizeof buf);
        EXPECT_EQ(QPXGetContainerFromPosition(c.list, c.k, buf, sizeof buf), c.result) << c.list << " k=" << c.k;
        if (c.entry) {
            EXPECT_STREQ(buf, c.entry) << c.list << " k=" << c.k;
        }
    }
}

TEST(DriveListText, AnEntryThatDoesNotFitIsRefusedNotCut) {
    char buf[8];
    std::memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(QPXGetContainerFromPosition("/x/1234567.qim;", 0, buf, 8), 0);
    EXPECT_EQ(buf[7], 'Z') << "nothing is written past the buffer";
    EXPECT_EQ(QPXGetContainerFromPosition("/x/1.qim;", 0, buf, 8), 0) << "8 characters need 9 bytes";
    EXPECT_EQ(QPXGetContainerFromPosition("/x/.qim;", 0, buf, 8), 1);
    EXPECT_STREQ(buf, "/x/.qim");
}

TEST(DriveListText, MountedEntriesHaveTwoCharacters) {
    EXPECT_EQ(QPXDriveIsMounted(0, "x;ab;;"), 0) << "one character is empty";
    EXPECT_EQ(QPXDriveIsMounted(1, "x;ab;;"), 1);
    EXPECT_EQ(QPXDriveIsMounted(2, "x;ab;;"), 0);
    EXPECT_EQ(QPXDriveIsMounted(7, "x;ab;;"), 0);
    EXPECT_EQ(QPXDriveIsMounted(0, ""), 0);
    EXPECT_EQ(QPXDriveIsMounted(0, nullptr), 0);
}

TEST(DriveListText, ContainersAreFoundByTheirWholePath) {
    const char* list = "/c/a.qim2;/c/a.qim;;/long/" "folder/with/a/name/longer/than/sixty-four/characters/in/all.qim;";
    EXPECT_EQ(QPXContainerIsMounted(list, "/c/a.qim"), 1);
    EXPECT_EQ(QPXContainerIsMounted(list, "/c/a.qim2"), 0);
    EXPECT_EQ(QPXContainerIsMounted(list, "/c/A.qim"), -1);
    EXPECT_EQ(QPXContainerIsMounted(list, "/c/a"), -1) << "no prefix matches";
    EXPECT_EQ(QPXContainerIsMounted(list, "/long/folder/with/a/name/longer/than/sixty-four/characters/in/all.qim"),
              3);
    EXPECT_EQ(QPXContainerIsMounted(list, ""), -1) << "an empty path is no container";
}

class CheckContainerFilesTest : public LibraryTest {
protected:
    void SetUp() override {
        publish_virtual_drive('G', 0);
        publish_virtual_drive('H', 1);
        publish_virtual_drive('I', 2);
    }
    std::string list() {
        char buf[256] = {};
        return QPXGetContainerFiles(buf, sizeof buf) == 0 ? buf : "<none>";
    }
};

TEST_F(CheckContainerFilesTest, RebuildsTheListOnlyAfterTheRestart) {
    ASSERT_EQ(QPXSetContainerFiles("/a.qim;/b.qim;"), 0);
    set_catalogue_dword("NumberOfCDROMs", 4);
    set_catalogue_dword("RebootNeeded", 1);
    EXPECT_EQ(QPXCheckContainerFiles(), 3) << "3 letters, 4 drives configured: not restarted yet";
    EXPECT_EQ(QPXIsRebootNeeded(), 1);
    EXPECT_EQ(list(), "/a.qim;/b.qim;");

    set_catalogue_dword("NumberOfCDROMs", 3);
    set_catalogue_dword("RebootNeeded", 0);
    EXPECT_EQ(QPXCheckContainerFiles(), 0);
    EXPECT_EQ(list(), "/a.qim;/b.qim;") << "no restart pending: unchanged";

    set_catalogue_dword("RebootNeeded", 1);
    EXPECT_EQ(QPXCheckContainerFiles(), 0);
    EXPECT_EQ(list(), "/a.qim;/b.qim;;");
    EXPECT_EQ(QPXIsRebootNeeded(), 0);
}

TEST_F(CheckContainerFilesTest, ShortensLongListsAndBuildsMissingOnes) {
    set_catalogue_dword("NumberOfCDROMs", 3);
    set_catalogue_dword("RebootNeeded", 1);
    ASSERT_EQ(QPXSetContainerFiles("/a.qim;;/c.qim;/d.qim;"), 0);
    EXPECT_EQ(QPXCheckContainerFiles(), 0);
    EXPECT_EQ(list(), "/a.qim;;/c.qim;");

    reg::Key k;
    ASSERT_EQ(reg::Key::open(reg::Hive::LocalMachine, kCatalogueKey, reg::Access::ReadWrite, k), reg::kSuccess);
    ASSERT_EQ(k.delete_value("ContainerFiles"), reg::kSuccess);
    set_catalogue_dword("RebootNeeded", 1);
    EXPECT_EQ(QPXCheckContainerFiles(), 0);
    EXPECT_EQ(catalogue_text("ContainerFiles"), ";;;");
}

TEST_F(CheckContainerFilesTest, AFailedRebuildKeepsTheRestartPending) {
    set_catalogue_dword("NumberOfCDROMs", 3);
    set_catalogue_dword("RebootNeeded", 1);
    protect(kCatalogueKey);
    EXPECT_NE(QPXCheckContainerFiles(), 0);
    EXPECT_EQ(QPXIsRebootNeeded(), 1);
}

TEST(CheckContainerFilesWithoutDrives, ReturnsZero) {
    ScopedMachineRoot root;
    EXPECT_EQ(QPXCheckContainerFiles(), 0);
}

}  // namespace
}  // namespace qpx::testing
