// libiscsi's command-line tools against the target.
#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "target_fixture.h"

namespace qpx::iscsi::test {
namespace {

using qpx::testing::run_command;

TEST(InitiatorTools, IscsiLsListsEveryDrive) {
    TargetFixture f;
    std::string out;
    ASSERT_EQ(run_command("iscsi-ls iscsi://" + f.portal() + " 2>&1", &out), 0) << out;
    EXPECT_NE(out.find("Target:" + f.target('g')), std::string::npos) << out;
    EXPECT_NE(out.find("Target:" + f.target('h')), std::string::npos) << out;
    EXPECT_NE(out.find("Portal:" + f.portal() + ",1"), std::string::npos) << out;
}

TEST(InitiatorTools, IscsiInqShowsTheStandardAndVitalProductDataPages) {
    TargetFixture f;
    struct Case {
        std::string options;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"", "Peripheral Device Type:MMC"},
        {"-e 1 -c 0", "Page:0x80 UNIT_SERIAL_NUMBER"},
        {"-e 1 -c 128", "Unit Serial Number"},
        {"-e 1 -c 131", "Page Code:(0x83) DEVICE_IDENTIFICATION"},
    };
    for (const Case& c : cases) {
        std::string out;
        ASSERT_EQ(run_command("iscsi-inq " + c.options + " " + f.url('g') + " 2>&1", &out), 0) << c.options << "\n" << out;
        EXPECT_NE(out.find(c.expected), std::string::npos) << c.options << "\n" << out;
    }
}

}  // namespace
}  // namespace qpx::iscsi::test
