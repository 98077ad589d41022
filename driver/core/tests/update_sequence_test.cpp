// From the drive list to a ready drive: the readiness check queues the
// opening, answers NOT READY while it runs, reports the change once, and
// reports each kind of failure once.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "container_fixtures.h"
#include "core_harness.h"
#include "support/temp_dir.h"

namespace qpx::driver::test {
namespace {

namespace fs = std::filesystem;
using container::ContainerType;

class UpdateSequence : public ::testing::Test {
protected:
    void SetUp() override {
        const auto sectors = numbered_sectors(64);
        write_single_track(dir / "a.qim", ContainerType::plain, sectors);
        write_single_track(dir / "c.qim", ContainerType::maximal_blocks, sectors);
    }
    testing::TempDir dir{"update"};
};

TEST_F(UpdateSequence, NotReadyWhileOpeningThenOneUnitAttentionThenGood) {
    CoreHarness core;
    core.set_drive_list({(dir / "a.qim").string()});
    core.work.hold();

    EXPECT_TRUE(core.test_unit_ready(0).check(sense::kNotReady, sense::kAscMediumNotPresent));
    EXPECT_TRUE(core.read10(0, 16, 2048).check(sense::kNotReady, sense::kAscMediumNotPresent));
    EXPECT_EQ(core.work.held(), 1u) << "one opening at a time";

    core.work.release_all();
    EXPECT_TRUE(core.test_unit_ready(0).check(sense::kUnitAttention, sense::kAscMediumChanged));
    EXPECT_TRUE(core.test_unit_ready(0).good());
    EXPECT_TRUE(core.test_unit_ready(0).good());
    EXPECT_TRUE(core.read10(0, 16, 2048).good());
    EXPECT_EQ(core.drive_list.reads, 1);
}

TEST_F(UpdateSequence, EjectReportsTheChangeOnceThenMediumNotPresent) {
    CoreHarness core;
    core.insert(0, dir / "a.qim");
    core.set_drive_list({""});
    core.update(0);
    EXPECT_TRUE(core.test_unit_ready(0).check(sense::kUnitAttention, sense::kAscMediumChanged));
    EXPECT_TRUE(core.test_unit_ready(0).check(sense::kNotReady, sense::kAscMediumNotPresent));
    EXPECT_TRUE(core.read10(0, 16, 2048).check(sense::kNotReady, sense::kAscMediumNotPresent));
    EXPECT_EQ(core.drive_list.reads, 2) << "no reopening without an update";
}

TEST_F(UpdateSequence, MissingContainerFileIsRetriedAtEveryCheck) {
    CoreHarness core;
    const fs::path later = dir / "later.qim";
    core.set_drive_list({later.string()});
    EXPECT_TRUE(core.test_unit_ready(0).check(sense::kHardwareError, 0x00));
    EXPECT_TRUE(core.test_unit_ready(0).check(sense::kHardwareError, 0x00));
    EXPECT_EQ(core.drive_list.reads, 2);

    fs::copy_file(dir / "a.qim", later);
    EXPECT_TRUE(core.test_unit_ready(0).check(sense::kUnitAttention, sense::kAscMediumChanged));
    EXPECT_TRUE(core.test_unit_ready(0).good());
    EXPECT_EQ(core.drive_list.reads, 3);
}

TEST_F(UpdateSequence, ListWithAnEmptyEntryServesTheOthers) {
    CoreHarness core(3);
    core.drive_list.text = (dir / "a.qim").string() + ";;" + (dir / "c.qim").string() + ";";
    for (std::uint32_t drive = 0; drive < 3; ++drive)
        EXPECT_TRUE(core.test_unit_ready(drive).check(sense::kUnitAttention, sense::kAscMediumChanged)) << drive;
    EXPECT_TRUE(core.test_unit_ready(0).good());
    EXPECT_TRUE(core.test_unit_ready(1).check(sense::kNotReady, sense::kAscMediumNotPresent));
    EXPECT_TRUE(core.test_unit_ready(2).good());
    EXPECT_TRUE(core.read10(2, 20, 2048).good());
}

TEST_F(UpdateSequence, ListWithoutFinalSemicolonGivesLaterDrivesNoContainer) {
    CoreHarness core(2);
    core.drive_list.text = (dir / "a.qim").string();
    EXPECT_TRUE(core.test_unit_ready(0).check(sense::kUnitAttention, sense::kAscMediumChanged));
    EXPECT_TRUE(core.test_unit_ready(0).good());
    EXPECT_TRUE(core.test_unit_ready(1).check(sense::kUnitAttention, sense::kAscMediumChanged));
    EXPECT_TRUE(core.test_unit_ready(1).check(sense::kNotReady, sense::kAscMediumNotPresent));
}

TEST_F(UpdateSequence, EachOpeningFailureIsReportedOnce) {
    const fs::path garbage = dir / "garbage.qim";
    std::ofstream(garbage) << "short";
    const fs::path loop = dir / "loop.qim";  // exists, but cannot be opened
    fs::create_symlink(loop.filename(), loop);
    struct Case {
        const char* what;
        DriveListStatus list_status;
        std::string entry;
        std::uint8_t key;
        std::uint8_t asc;
    };
    const Case cases[] = {
        {"drive list unreadable", DriveListStatus::unreadable, "", sense::kIllegalRequest, 0x20},
        // A machine where nothing was inserted yet has no list at all.
        {"drive list missing", DriveListStatus::missing, "", sense::kUnitAttention, sense::kAscMediumChanged},
        {"header unreadable", DriveListStatus::ok, garbage.string(), sense::kMediumError, 0x00},
        {"container cannot be opened", DriveListStatus::ok, loop.string(), sense::kHardwareError, 0x00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CoreHarness core;
        core.drive_list.status = c.list_status;
        core.drive_list.text = c.entry + ";";
        EXPECT_TRUE(core.test_unit_ready(0).check(c.key, c.asc));
        const Answer next = core.test_unit_ready(0);
        // A named container that failed is opened again at the next check.
        if (c.entry.empty())
            EXPECT_TRUE(next.check(sense::kNotReady, sense::kAscMediumNotPresent));
        else
            EXPECT_TRUE(next.check(c.key, c.asc));
    }
}

TEST_F(UpdateSequence, UpdateRequestsAddressDrivesByBusAndTarget) {
    CoreHarness core(10);
    core.drive_list.text = ";;;;;;;;;" + (dir / "a.qim").string() + ";";
    for (std::uint32_t drive = 0; drive < 10; ++drive) core.test_unit_ready(drive);
    // Drive 9 is bus 2, target 1; bus 2 target 2 would be drive 10.
    core.drive_list.text = ";;;;;;;;;;";
    EXPECT_EQ(core.adapter.update_drive(2, 2), SrbStatus::selection_timeout);
    EXPECT_EQ(core.adapter.update_drive(2, 1), SrbStatus::success);
    EXPECT_TRUE(core.test_unit_ready(9).check(sense::kUnitAttention, sense::kAscMediumChanged));

    std::vector<std::uint8_t> control(32, 0);
    control[0] = 28;
    control[16] = 0x06;
    control[17] = 0x05;
    control[18] = 0x1B;  // 0x1B0506, little-endian
    control[28] = 1;     // bus 1, target 0: drive 0
    core.drive_list.text = (dir / "c.qim").string() + ";";
    EXPECT_EQ(core.adapter.control(control), SrbStatus::success);
    EXPECT_TRUE(core.test_unit_ready(0).check(sense::kUnitAttention, sense::kAscMediumChanged));
    EXPECT_TRUE(core.test_unit_ready(0).good());
    control[16] = 0x07;  // hold request: the host's business
    EXPECT_EQ(core.adapter.control(control), SrbStatus::invalid_request);
    EXPECT_EQ(core.adapter.control(std::span(control).first(20)), SrbStatus::invalid_request);
}

}  // namespace
}  // namespace qpx::driver::test
