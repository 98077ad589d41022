#include <cstring>

#include "lib_fixture.h"

namespace qpx::testing {
namespace {

using CatalogueTest = LibraryTest;

TEST_F(CatalogueTest, NumbersStartAtOneAndFreedNumbersReturnOldestFirst) {
    EXPECT_EQ(QPXAddContainer("/data/a.qim,G,0,0,"), 1);
    EXPECT_EQ(QPXGetNumberOfContainers(), 1);
    EXPECT_EQ(QPXDeleteContainer(1), 0);
    EXPECT_EQ(QPXAddContainer("/data/a.qim,G,0,0,"), 1);
    std::string free_slots;
    reg::read_string(reg::Hive::LocalMachine, kCatalogueKey, "ContainerFreeSlots", free_slots);
    EXPECT_EQ(free_slots, "");

    for (int n = 2; n <= 8; ++n) ASSERT_EQ(QPXAddContainer(("/d/" + std::to_string(n) + ".qim,,,,").c_str()), n);
    EXPECT_EQ(QPXDeleteContainer(3), 0);
    EXPECT_EQ(QPXDeleteContainer(7), 0);
    EXPECT_EQ(catalogue_text("ContainerFreeSlots"), "3,7");
    EXPECT_EQ(QPXAddContainer("/d/x.qim,,,,"), 3);
    EXPECT_EQ(QPXAddContainer("/d/y.qim,,,,"), 7);
    EXPECT_EQ(QPXAddContainer("/d/z.qim,,,,"), 9);
    EXPECT_EQ(QPXGetNumberOfContainers(), 9) << "the count is never lowered";
}

TEST_F(CatalogueTest, ANumberIsNeverHandedOutTwice) {
    ASSERT_EQ(QPXAddContainer("/d/1.qim,,,,"), 1);
    ASSERT_EQ(QPXAddContainer("/d/2.qim,,,,"), 2);
    EXPECT_EQ(QPXDeleteContainer(2), 0);
    EXPECT_EQ(QPXDeleteContainer(2), 5) << "no record: nothing is freed";
    EXPECT_EQ(QPXDeleteContainer(0), 5);
    EXPECT_EQ(catalogue_text("ContainerFreeSlots"), "2");
    EXPECT_EQ(QPXAddContainer("/d/b.qim,,,,"), 2);
    EXPECT_EQ(QPXAddContainer("/d/c.qim,,,,"), 3);

    // A free list naming a record that exists (and garbage) is passed over.
    reg::Key k;
    ASSERT_EQ(reg::Key::create(reg::Hive::LocalMachine, kCatalogueKey, k), reg::kSuccess);
    ASSERT_EQ(k.set_string("ContainerFreeSlots", "x,1,,2"), reg::kSuccess);
    EXPECT_EQ(QPXAddContainer("/d/d.qim,,,,"), 4);
    char buf[64];
    ASSERT_EQ(QPXGetContainerIndex(1, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "/d/1.qim,,,,");
}

TEST_F(CatalogueTest, ReadResultsFollowKeyValueAndBufferSize) {
    char buf[16];
    EXPECT_EQ(QPXGetContainerIndex(1, buf, sizeof buf), 2) << "no key yet";
    EXPECT_EQ(QPXGetInstallPath(buf, sizeof buf), 2);
    ASSERT_EQ(QPXSetContainerIndex(1, "/q/abc.qim,,,,"), 0);  // 14 characters
    EXPECT_EQ(QPXGetContainerIndex(2, buf, sizeof buf), 3) << "missing value";
    ASSERT_EQ(QPXSetContainerFiles(""), 0);
    EXPECT_EQ(QPXGetContainerFiles(buf, sizeof buf), 3) << "an empty value counts as missing";

    std::memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(QPXGetContainerIndex(1, buf, 14), 1) << "a buffer exactly as large as the text is too small";
    EXPECT_EQ(buf[0], 'Z') << "nothing is copied";
    EXPECT_EQ(QPXGetContainerIndex(1, buf, 15), 0);
    EXPECT_STREQ(buf, "/q/abc.qim,,,,");
}

TEST_F(CatalogueTest, PathsThatCannotBeStoredAreRefused) {
    EXPECT_EQ(QPXAddContainer("/d/semi;colon.qim,G,0,0,"), -1);
    EXPECT_EQ(QPXAddContainer(",G,0,0,"), -1);
    EXPECT_EQ(QPXAddContainer(nullptr), -1);
    EXPECT_EQ(QPXSetContainerIndex(1, "/a;b.qim,,,,"), 4);
    EXPECT_EQ(QPXGetNumberOfContainers(), 0) << "nothing was counted";
    // The start application may hold commas: only the path is a field.
    EXPECT_EQ(QPXAddContainer("/d/ok.qim,G,2,65,/usr/bin/prog --a,b"), 1);
}

TEST_F(CatalogueTest, PathSearchMatchesWholePathsExactly) {
    ASSERT_EQ(QPXAddContainer("/c/x.qim2,,,,"), 1);
    ASSERT_EQ(QPXAddContainer("/c/x.qim,,,,"), 2);
    ASSERT_EQ(QPXAddContainer("/c/X.qim,,,,"), 3);
    ASSERT_EQ(QPXAddContainer("/c/placeholder.qim,,,,"), 4);
    ASSERT_EQ(QPXSetContainerIndex(4, "/c/nocomma.qim"), 0);
    ASSERT_EQ(QPXSetContainerIndex(9, "/c/beyond.qim,,,,"), 0);
    EXPECT_EQ(QPXGetContainerIndexNumber("/c/x.qim"), 2);
    EXPECT_EQ(QPXGetContainerIndexNumber("/c/X.qim"), 3) << "paths keep their case";
    EXPECT_EQ(QPXGetContainerIndexNumber("/c/x"), 0) << "no prefix matches";
    EXPECT_EQ(QPXGetContainerIndexNumber("/c/nocomma.qim"), 0) << "a record without fields";
    EXPECT_EQ(QPXGetContainerIndexNumber("/c/beyond.qim"), 0) << "beyond the count";
    EXPECT_EQ(QPXGetContainerIndexNumber(""), 0);
    ASSERT_EQ(QPXDeleteContainer(2), 0);
    EXPECT_EQ(QPXGetContainerIndexNumber("/c/x.qim"), 0);
}

TEST_F(CatalogueTest, ProtectedKeyRefusesChangesWithTheirCodes) {
    ASSERT_EQ(QPXAddContainer("/d/1.qim,,,,"), 1);
    protect(kCatalogueKey);
    EXPECT_EQ(QPXSetContainerIndex(1, "/d/2.qim,,,,"), 2);
    EXPECT_EQ(QPXSetContainerFiles(";;"), 2);
    EXPECT_EQ(QPXAddContainer("/d/2.qim,,,,"), -1);
    EXPECT_EQ(QPXDeleteContainer(1), 2);
    EXPECT_EQ(QPXGetNumberOfContainers(), 1);
    char buf[64];
    EXPECT_EQ(QPXGetContainerIndex(1, buf, sizeof buf), 0) << "reading still works";
}

TEST_F(CatalogueTest, DwordValuesAndTheirDefaults) {
    EXPECT_EQ(QPXGetNumberOfUnits(), 0);
    EXPECT_EQ(QPXIsRebootNeeded(), 0);
    EXPECT_EQ(QPXSetRebootNeeded(2), 0);
    EXPECT_EQ(QPXIsRebootNeeded(), 0) << "only the value 1 means a restart is due";
    EXPECT_EQ(QPXSetRebootNeeded(1), 0);
    EXPECT_EQ(QPXIsRebootNeeded(), 1);
    EXPECT_EQ(QPXSetNumberOfContainers(12), 0);
    EXPECT_EQ(QPXGetNumberOfContainers(), 12);
}

}  // namespace
}  // namespace qpx::testing
