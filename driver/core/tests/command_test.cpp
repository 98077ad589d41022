// The command table: identification, the commands answered without data,
// the write commands, MODE SELECT, addressing and the sense data layout.
#include <gtest/gtest.h>

#include <string>

#include "container_fixtures.h"
#include "core_harness.h"
#include "qpx/container_writer/container_writer.h"
#include "sense.h"
#include "support/temp_dir.h"

namespace qpx::driver::test {
namespace {

using container::ContainerType;

std::string text_at(const std::vector<std::uint8_t>& data, std::size_t at, std::size_t length) {
    return std::string(data.begin() + static_cast<std::ptrdiff_t>(at),
                       data.begin() + static_cast<std::ptrdiff_t>(at + length));
}

TEST(Inquiry, ControllerUnitsAndDrivesIdentifyThemselves) {
    CoreHarness core(10);
    for (std::uint8_t target = 0; target < 8; ++target) {
        const Answer a = core.send({0, target, 0}, cdb6(0x12, 96), 96);
        ASSERT_TRUE(a.good()) << int(target);
        ASSERT_EQ(a.transferred, 36u);
        EXPECT_EQ(a.data[0], 0x1C);
        EXPECT_EQ(text_at(a.data, 8, 8), "ORN     ");
        EXPECT_EQ(text_at(a.data, 16, 16), "Controller      ");
        EXPECT_EQ(text_at(a.data, 32, 4), "1.00");
    }
    for (std::uint32_t drive : {0u, 7u, 9u}) {
        const Answer a = core.send_drive(drive, cdb6(0x12, 36), 36);
        ASSERT_TRUE(a.good()) << drive;
        EXPECT_EQ(a.data[0], 0x05);
        EXPECT_EQ(a.data[1], 0x80) << "removable medium";
        EXPECT_EQ(a.data[4], 31) << "additional length: bytes 5..35";
        EXPECT_EQ(text_at(a.data, 16, 16), "Plexor          ");
        for (std::size_t i : {2, 3, 5, 6, 7}) EXPECT_EQ(a.data[i], 0) << i;
    }
    // A short buffer gets the first bytes.
    const Answer shorter = core.send_drive(0, cdb6(0x12, 5), 5);
    EXPECT_EQ(shorter.transferred, 5u);
    EXPECT_EQ(shorter.data[0], 0x05);
}

TEST(Addressing, UnitsBeyondTheDrivesAndOtherLunsTimeOut) {
    CoreHarness core(10);
    EXPECT_EQ(core.adapter.bus_count(), 3u);
    EXPECT_EQ(core.send({2, 1, 0}, cdb6(0x12, 36), 36).status, SrbStatus::success);
    EXPECT_EQ(core.send({2, 2, 0}, cdb6(0x12, 36), 36).status, SrbStatus::selection_timeout);
    EXPECT_EQ(core.send({1, 0, 1}, cdb6(0x12, 36), 36).status, SrbStatus::selection_timeout);
    EXPECT_EQ(core.send({0, 8, 0}, cdb6(0x12, 36), 36).status, SrbStatus::selection_timeout);
    EXPECT_EQ(core.adapter.abort_command({2, 2, 0}), SrbStatus::selection_timeout);
    // Controller units never hold a medium and never open one.
    EXPECT_TRUE(core.send({0, 3, 0}, cdb6(0x00)).check(sense::kNotReady, sense::kAscMediumNotPresent));
    EXPECT_EQ(core.drive_list.reads, 0);
}

TEST(AdapterLayout, DrivesAndBufferSets) {
    EXPECT_EQ(drives_per_adapter(500), (std::vector<std::uint32_t>{448, 52}));
    EXPECT_EQ(drives_per_adapter(448), (std::vector<std::uint32_t>{448}));
    EXPECT_EQ(clamp_buffer_set_setting(0), 10u);
    EXPECT_EQ(clamp_buffer_set_setting(101), 10u);
    EXPECT_EQ(clamp_buffer_set_setting(100), 100u);
    EXPECT_EQ(CoreHarness(3, 101).adapter.buffer_set_count(), 3u) << "never more sets than drives";
    EXPECT_EQ(CoreHarness(20, 0).adapter.buffer_set_count(), 10u);
    EXPECT_EQ(CoreHarness(448).adapter.bus_count(), 57u);
    EXPECT_THROW(CoreHarness(449), std::invalid_argument);
    EXPECT_THROW(CoreHarness(0), std::invalid_argument);
}

class Commands : public ::testing::Test {
protected:
    void SetUp() override {
        const auto sectors = numbered_sectors(64);
        write_single_track(dir / "k2.qim", ContainerType::plain, sectors, container::disc_format::korrektur2);
        write_single_track(dir / "plain.qim", ContainerType::plain, sectors);
    }
    testing::TempDir dir{"commands"};
};

TEST_F(Commands, TableOfAnswersWithoutData) {
    CoreHarness core;
    core.insert(0, dir / "plain.qim");
    struct Case {
        const char* what;
        Cdb cdb;
        SrbStatus status;
    };
    const Case cases[] = {
        {"PREVENT ALLOW MEDIUM REMOVAL", cdb6(0x1E, 1), SrbStatus::success},
        {"SEEK(10)", {0x2B, 0, 0, 0, 0, 20, 0, 0, 0, 0}, SrbStatus::success},
        {"READ BUFFER", {0x3C, 0, 0, 0, 0, 0, 0, 0, 16, 0}, SrbStatus::success},
        {"START STOP UNIT, start", cdb6(0x1B, 1), SrbStatus::success},
        {"WRITE(10)", {0x2A, 0, 0, 0, 0, 20, 0, 0, 1, 0}, SrbStatus::error},
        {"VERIFY(10)", {0x2F, 0, 0, 0, 0, 20, 0, 0, 1, 0}, SrbStatus::error},
        {"READ BUFFER CAPACITY", {0x5C, 0, 0, 0, 0, 0, 0, 0, 12, 0}, SrbStatus::invalid_request},
        {"PLAY AUDIO(12)", {0xA5, 0, 0, 0, 0, 20, 0, 0, 0, 1, 0, 0}, SrbStatus::invalid_request},
    };
    for (const Case& c : cases) {
        const Answer a = core.send_drive(0, c.cdb, 2048);
        EXPECT_EQ(a.status, c.status) << c.what;
        EXPECT_EQ(a.scsi_status, kScsiGood) << c.what << ": no check condition, no sense";
        EXPECT_EQ(a.transferred, 0u) << c.what;
    }
    EXPECT_TRUE(core.player.commands.empty());
}

TEST_F(Commands, ModeSelectAcceptsBlockLengthsOfKorrektur2CopiesOnly) {
    auto parameters = [](std::uint32_t block_length, std::size_t size = 12) {
        std::vector<std::uint8_t> list(size, 0);
        list[3] = 8;
        if (size >= 12) {
            list[9] = static_cast<std::uint8_t>(block_length >> 16);
            list[10] = static_cast<std::uint8_t>(block_length >> 8);
            list[11] = static_cast<std::uint8_t>(block_length);
        }
        return list;
    };
    CoreHarness core(2);
    core.insert(0, dir / "k2.qim");
    core.insert(1, dir / "plain.qim");
    const Cdb select = cdb6(0x15, 12);
    EXPECT_TRUE(core.send_drive(0, select, 0, parameters(2048)).good());
    EXPECT_TRUE(core.send_drive(0, select, 0, parameters(2352)).good());
    EXPECT_TRUE(core.send_drive(0, select, 0, parameters(512)).check(sense::kNotReady, 0x26));
    EXPECT_TRUE(core.send_drive(0, select, 0, parameters(2048, 11)).check(sense::kNotReady, 0x24));
    EXPECT_TRUE(core.send_drive(1, select, 0, parameters(2048)).check(sense::kNotReady, 0x26));
}

TEST(Sense, CheckConditionWritesItsFieldsAndKeepsTheRest) {
    std::vector<std::uint8_t> buffer(18, 0xEE);
    ScsiRequest request;
    request.sense = buffer;
    EXPECT_EQ(check_condition(request, 0x0B, 0x29), SrbStatus::error_with_sense);
    EXPECT_EQ(request.scsi_status, kScsiCheckCondition);
    const std::vector<std::uint8_t> expected = {0xF0, 0xEE, 0xEB, 0xEE, 0xEE, 0xEE, 0xEE, 10,   0xEE,
                                                0xEE, 0xEE, 0xEE, 0x29, 0x00, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(buffer, expected);

    ScsiRequest without;
    EXPECT_EQ(check_condition(without, 0x03, 0x00), SrbStatus::error);
    EXPECT_EQ(without.scsi_status, kScsiCheckCondition);
    std::vector<std::uint8_t> tiny(8, 0);
    ScsiRequest too_small;
    too_small.sense = tiny;
    EXPECT_EQ(check_condition(too_small, 0x03, 0x00), SrbStatus::error);
    EXPECT_EQ(tiny, std::vector<std::uint8_t>(8, 0));
}

}  // namespace
}  // namespace qpx::driver::test
