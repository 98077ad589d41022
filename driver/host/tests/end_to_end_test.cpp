// Containers inserted with the library and read through their drive letter,
// as a program reads a disc: every sector against the ISO image it was made
// from, the medium change reported once to each open device.
#include <gtest/gtest.h>

#include <algorithm>

#include "disc_support.h"
#include "port_client_support.h"
#include "qpxdrv.h"

namespace qpx::testing {
namespace {

class InsertedDiscs : public ::testing::Test {
protected:
    void SetUp() override {
        configure_port_host(4);
        ASSERT_EQ(QPXSetContainerFiles(";;;;"), 0);
        host_ = std::make_unique<PortHostProcess>();
        ASSERT_TRUE(host_->wait_ready()) << host_->log();
    }
    void TearDown() override {
        if (host_) {
            EXPECT_EQ(host_->stop(), 0) << host_->log();
        }
    }

    ScopedMachineRoot root_;
    std::unique_ptr<PortHostProcess> host_;
};

TEST_F(InsertedDiscs, EverySectorOfAnInsertedIsoReadsThroughTheDriveLetter) {
    const DiscImage& disc = large_plain_disc();
    auto g = open_or_fail("\\\\.\\G:");
    ASSERT_NE(QPXInsert(0, disc.container.c_str()), 0);

    int attentions = 0;
    const ScsiAnswer first = read10_after_attention(g, 16, 1, &attentions);
    ASSERT_EQ(first.srb_status, kSrbSuccess) << int(first.sense_key) << "/" << int(first.asc);
    EXPECT_EQ(attentions, 1) << "the new medium is reported once";
    EXPECT_TRUE(std::ranges::equal(first.data, disc.sector(16)));

    constexpr std::uint32_t kRun = 32;  // 64 KB per request
    for (std::uint32_t lba = 0; lba < disc.sector_count(); lba += kRun) {
        const std::uint32_t n = std::min(kRun, disc.sector_count() - lba);
        const ScsiAnswer a = read10(g, lba, n);
        ASSERT_EQ(a.srb_status, kSrbSuccess) << "sector " << lba;
        ASSERT_EQ(a.transferred, n * 2048u);
        ASSERT_TRUE(std::ranges::equal(a.data, disc.sector(lba, n))) << "run at sector " << lba;
    }
}

TEST_F(InsertedDiscs, EachOpenDeviceLearnsOfAMediumChangeOnce) {
    const DiscImage& large = large_plain_disc();
    const DiscImage& small = small_compressed_disc();
    auto reader = open_or_fail("\\\\.\\H:");
    auto watcher = open_or_fail("\\\\.\\H:");
    auto by_port = open_or_fail(port_device(0));
    ASSERT_NE(QPXInsert(1, large.container.c_str()), 0);
    ASSERT_EQ(read10_after_attention(reader, 16, 1).srb_status, kSrbSuccess);

    // The others opened before the change: each gets its own report, once.
    EXPECT_TRUE(is_unit_attention(test_unit_ready(watcher)));
    EXPECT_EQ(test_unit_ready(watcher).srb_status, kSrbSuccess);
    EXPECT_EQ(inquiry(by_port, 1, 1).srb_status, kSrbSuccess) << "INQUIRY passes a pending report";
    EXPECT_TRUE(is_unit_attention(test_unit_ready(by_port, 1, 1)));
    EXPECT_EQ(test_unit_ready(by_port, 1, 1).srb_status, kSrbSuccess);
    // Opened after the change: nothing to report.
    auto late = open_or_fail("\\\\.\\H:");
    EXPECT_EQ(test_unit_ready(late).srb_status, kSrbSuccess);

    // Eject: reported, then no medium.
    ASSERT_NE(QPXEject(1), 0);
    int attentions = 0;
    const ScsiAnswer empty = read10_after_attention(reader, 16, 1, &attentions, false);
    EXPECT_TRUE(is_not_ready(empty));
    EXPECT_EQ(attentions, 1);
    EXPECT_TRUE(is_not_ready(read10(reader, 16, 1)));

    // Another container: one report, then the new medium's sectors.
    ASSERT_NE(QPXInsert(1, small.container.c_str()), 0);
    const ScsiAnswer fresh = read10_after_attention(reader, 16, 1, &attentions);
    ASSERT_EQ(fresh.srb_status, kSrbSuccess);
    EXPECT_EQ(attentions, 1);
    EXPECT_TRUE(std::ranges::equal(fresh.data, small.sector(16)));
    for (std::uint32_t lba = 16; lba < small.sector_count(); lba += 7) {
        const std::uint32_t n = std::min(7u, small.sector_count() - lba);
        const ScsiAnswer a = read10(reader, lba, n);
        ASSERT_EQ(a.srb_status, kSrbSuccess) << lba;
        ASSERT_TRUE(std::ranges::equal(a.data, small.sector(lba, n))) << lba;
    }
    EXPECT_TRUE(is_unit_attention(test_unit_ready(watcher))) << "two changes since its last command: one report";
    EXPECT_EQ(test_unit_ready(watcher).srb_status, kSrbSuccess);
}

TEST_F(InsertedDiscs, AContainerAlreadyInTheListAtStartIsServedWithoutAnyCommandFirst) {
    const DiscImage& small = small_compressed_disc();
    ASSERT_EQ(host_->stop(), 0);
    ASSERT_EQ(QPXSetContainerFiles((";;" + small.container.string() + ";;").c_str()), 0);
    host_ = std::make_unique<PortHostProcess>();
    ASSERT_TRUE(host_->wait_ready()) << host_->log();
    auto i = open_or_fail("\\\\.\\I:");
    const ScsiAnswer a = read10_after_attention(i, 16, 2);
    ASSERT_EQ(a.srb_status, kSrbSuccess);
    EXPECT_TRUE(std::ranges::equal(a.data, small.sector(16, 2)));
}

}  // namespace
}  // namespace qpx::testing
