// Entry k of the drive list, and the list as the registry holds it.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "drive_list_parser.h"
#include "qpx/driver/registry_drive_list.h"
#include "registry/registry.h"
#include "support/temp_dir.h"

namespace qpx::driver {
namespace {

struct EntryCase {
    const char* list;
    std::uint32_t drive;
    std::optional<std::string> expected;
};

TEST(DriveListEntry, EntriesSeparatedBySemicolons) {
    const EntryCase cases[] = {
        {"/c/a.qim;;/c/c.qim;", 0, "/c/a.qim"},
        {"/c/a.qim;;/c/c.qim;", 1, std::nullopt},  // empty entry: no container
        {"/c/a.qim;;/c/c.qim;", 2, "/c/c.qim"},
        {"/c/a.qim;;/c/c.qim;", 3, std::nullopt},  // past the end
        {"/c/a.qim", 0, "/c/a.qim"},               // without the final ";"
        {"/c/a.qim", 1, std::nullopt},
        {"/c/a.qim", 2, std::nullopt},
        {"", 0, std::nullopt},
        {";", 0, std::nullopt},
        {";/c/b.qim;", 1, "/c/b.qim"},
    };
    for (const EntryCase& c : cases)
        EXPECT_EQ(container_entry(c.list, c.drive), c.expected) << '"' << c.list << "\" drive " << c.drive;
}

TEST(RegistryDriveList, ReadsTheValueAndTellsAMissingOneApart) {
    testing::ScopedMachineRoot root;
    RegistryDriveList list;
    std::string text = "stale";
    EXPECT_EQ(list.read_container_files(text), DriveListStatus::missing);
    EXPECT_EQ(text, "");

    reg::Key key;
    ASSERT_EQ(reg::Key::create(reg::Hive::LocalMachine, "SOFTWARE\\Calder\\Quoplex CD-ROM", key), reg::kSuccess);
    EXPECT_EQ(list.read_container_files(text), DriveListStatus::missing);
    ASSERT_EQ(key.set_string("ContainerFiles", "/data/a.qim;;"), reg::kSuccess);
    EXPECT_EQ(list.read_container_files(text), DriveListStatus::ok);
    EXPECT_EQ(text, "/data/a.qim;;");
}

}  // namespace
}  // namespace qpx::driver
