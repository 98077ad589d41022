// libiscsi as the initiator against the target over the real core.
#include <gtest/gtest.h>
#include <poll.h>

#include "target_fixture.h"

namespace qpx::iscsi::test {
namespace {

bool check(scsi_task* t, scsi_sense_key key, int ascq) {
    return t && t->status == SCSI_STATUS_CHECK_CONDITION && t->sense.key == key && t->sense.ascq == ascq;
}

TEST(IscsiSession, DiscoveryListsOneTargetPerDriveAtTheListeningPortal) {
    TargetFixture f;
    Initiator c(iscsi_create_context(kInitiator));
    iscsi_set_session_type(c.get(), ISCSI_SESSION_DISCOVERY);
    ASSERT_EQ(iscsi_connect_sync(c.get(), f.portal().c_str()), 0) << iscsi_get_error(c.get());
    ASSERT_EQ(iscsi_login_sync(c.get()), 0) << iscsi_get_error(c.get());
    iscsi_discovery_address* found = iscsi_discovery_sync(c.get());
    ASSERT_NE(found, nullptr) << iscsi_get_error(c.get());
    std::vector<std::string> names, portals;
    for (auto* a = found; a; a = a->next) {
        names.emplace_back(a->target_name);
        portals.emplace_back(a->portals ? a->portals->portal : "");
    }
    iscsi_free_discovery_data(c.get(), found);
    EXPECT_EQ(names, (std::vector<std::string>{f.target('g'), f.target('h')}));
    EXPECT_EQ(portals, (std::vector<std::string>{f.portal() + ",1", f.portal() + ",1"}));
}

TEST(IscsiSession, InquiryShowsARemovableCdRomOnLunZero) {
    TargetFixture f;
    auto c = f.connect('g');
    ASSERT_TRUE(c);
    Task t(iscsi_inquiry_sync(c.get(), 0, 0, 0, 96));
    ASSERT_TRUE(t);
    ASSERT_EQ(t->status, SCSI_STATUS_GOOD);
    ASSERT_GE(t->datain.size, 36);
    EXPECT_EQ(t->datain.data[0] & 0x1F, 5);
    EXPECT_EQ(t->datain.data[1] & 0x80, 0x80);
}

TEST(IscsiSession, Read10ReturnsTheContainersSectorsAcrossManyDataInPdus) {
    TargetFixture f;
    auto c = f.connect('g');
    ASSERT_TRUE(c);
    struct Case { std::uint32_t lba, blocks; };
    for (const Case k : {Case{0, 1}, Case{16, 32}, Case{kSectors - 3, 3}, Case{100, 5}}) {
        Task t(iscsi_read10_sync(c.get(), 0, k.lba, k.blocks * 2048, 2048, 0, 0, 0, 0, 0));
        ASSERT_TRUE(t) << iscsi_get_error(c.get());
        ASSERT_EQ(t->status, SCSI_STATUS_GOOD) << "lba " << k.lba;
        const auto want = f.sectors(k.lba, k.blocks);
        ASSERT_EQ(std::vector<std::uint8_t>(t->datain.data, t->datain.data + t->datain.size), want) << "lba " << k.lba;
    }
}

TEST(IscsiSession, CapacityIsTheContainersLastSector) {
    TargetFixture f;
    auto c = f.connect('g');
    ASSERT_TRUE(c);
    Task t(iscsi_readcapacity10_sync(c.get(), 0, 0, 0));
    ASSERT_TRUE(t);
    ASSERT_EQ(t->status, SCSI_STATUS_GOOD);
    auto* cap = static_cast<scsi_readcapacity10*>(scsi_datain_unmarshall(t.get()));
    ASSERT_NE(cap, nullptr);
    EXPECT_EQ(cap->lba, kSectors - 1);
    EXPECT_EQ(cap->block_size, 2048u);
}

TEST(IscsiSession, RefusalsCarryTheirSense) {
    TargetFixture f;
    auto c = f.connect('g');
    ASSERT_TRUE(c);
    std::vector<std::uint8_t> block(2048, 0x55);
    Task write(iscsi_write10_sync(c.get(), 0, 0, block.data(), 2048, 2048, 0, 0, 0, 0, 0));
    EXPECT_TRUE(check(write.get(), SCSI_SENSE_DATA_PROTECTION, 0x2700));

    Task other_lun(iscsi_testunitready_sync(c.get(), 1));
    EXPECT_TRUE(check(other_lun.get(), SCSI_SENSE_ILLEGAL_REQUEST, 0x2500));

    Task past_end(iscsi_read10_sync(c.get(), 0, kSectors - 1, 2 * 2048, 2048, 0, 0, 0, 0, 0));
    ASSERT_TRUE(check(past_end.get(), SCSI_SENSE_MEDIUM_ERROR, 0x1100));
    EXPECT_EQ(past_end->residual, 2048u) << "one of the two sectors came";

    // An opcode the drive does not know.
    Task unknown(scsi_cdb_testunitready());
    unknown->cdb[0] = 0xC7;
    ASSERT_NE(iscsi_scsi_command_sync(c.get(), 0, unknown.get(), nullptr), nullptr);
    EXPECT_TRUE(check(unknown.get(), SCSI_SENSE_ILLEGAL_REQUEST, 0x2000));
}

TEST(IscsiSession, EmptyDriveIsNotReady) {
    TargetFixture f;
    f.runner.settle_empty(1);
    auto c = f.connect('h');
    ASSERT_TRUE(c);
    Task t(iscsi_testunitready_sync(c.get(), 0));
    EXPECT_TRUE(check(t.get(), SCSI_SENSE_NOT_READY, 0x3A00));
    Task read(iscsi_read10_sync(c.get(), 0, 16, 2048, 2048, 0, 0, 0, 0, 0));
    EXPECT_TRUE(check(read.get(), SCSI_SENSE_NOT_READY, 0x3A00));
}

TEST(IscsiSession, EachConnectionReportsItsOwnUnitAttentionOnce) {
    TargetFixture f;
    std::vector<Initiator> connections;
    for (int i = 0; i < 2; ++i) {
        // Connect without libiscsi's own TEST UNIT READY, which would take the attention.
        Initiator c(iscsi_create_context(kInitiator));
        iscsi_set_targetname(c.get(), f.target('g').c_str());
        iscsi_set_session_type(c.get(), ISCSI_SESSION_NORMAL);
        ASSERT_EQ(iscsi_connect_sync(c.get(), f.portal().c_str()), 0);
        ASSERT_EQ(iscsi_login_sync(c.get()), 0) << iscsi_get_error(c.get());
        connections.push_back(std::move(c));
    }
    for (auto& c : connections) {
        Task inquiry(iscsi_inquiry_sync(c.get(), 0, 0, 0, 36));
        EXPECT_EQ(inquiry->status, SCSI_STATUS_GOOD) << "INQUIRY passes a pending attention";
        Task first(iscsi_testunitready_sync(c.get(), 0));
        EXPECT_TRUE(check(first.get(), SCSI_SENSE_UNIT_ATTENTION, 0x2900));
        Task second(iscsi_testunitready_sync(c.get(), 0));
        EXPECT_EQ(second->status, SCSI_STATUS_GOOD);
    }
    // A LUN reset on the first connection is news for the second only.
    ASSERT_EQ(iscsi_task_mgmt_lun_reset_sync(connections[0].get(), 0), 0) << iscsi_get_error(connections[0].get());
    EXPECT_EQ(f.runner.resets, 1);
    Task own(iscsi_testunitready_sync(connections[0].get(), 0));
    EXPECT_EQ(own->status, SCSI_STATUS_GOOD);
    Task others(iscsi_testunitready_sync(connections[1].get(), 0));
    EXPECT_TRUE(check(others.get(), SCSI_SENSE_UNIT_ATTENTION, 0x2900));
}

TEST(IscsiSession, NopOutIsEchoedAndLogoutEndsTheSession) {
    TargetFixture f;
    auto c = f.connect('g');
    ASSERT_TRUE(c);
    struct Ping {
        bool answered = false;
        int status = -1;
        std::vector<std::uint8_t> echoed;
    } ping;
    std::vector<std::uint8_t> payload = {'p', 'i', 'n', 'g', 1, 2, 3};
    ASSERT_EQ(iscsi_nop_out_async(
                  c.get(),
                  [](iscsi_context*, int status, void* data, void* p) {
                      auto* ping = static_cast<Ping*>(p);
                      ping->answered = true;
                      ping->status = status;
                      if (auto* d = static_cast<iscsi_data*>(data)) ping->echoed.assign(d->data, d->data + d->size);
                  },
                  payload.data(), static_cast<int>(payload.size()), &ping),
              0);
    while (!ping.answered) {
        pollfd pfd{iscsi_get_fd(c.get()), static_cast<short>(iscsi_which_events(c.get())), 0};
        ASSERT_GE(poll(&pfd, 1, -1), 0);
        ASSERT_EQ(iscsi_service(c.get(), pfd.revents), 0) << iscsi_get_error(c.get());
    }
    EXPECT_EQ(ping.status, SCSI_STATUS_GOOD);
    // libiscsi hands in-data over with a NUL after it.
    ASSERT_GE(ping.echoed.size(), payload.size());
    EXPECT_EQ(std::vector<std::uint8_t>(ping.echoed.begin(), ping.echoed.begin() + payload.size()), payload);
    EXPECT_EQ(iscsi_logout_sync(c.get()), 0) << iscsi_get_error(c.get());
}

TEST(IscsiSession, ChapIsRequiredWhenConfigured) {
    TargetFixture f(ChapCredentials{"reader", "twelve-bytes-secret"});
    std::string error;
    EXPECT_FALSE(f.connect('g', nullptr, nullptr, &error)) << "login without CHAP";
    EXPECT_FALSE(f.connect('g', "reader", "wrong-secret-value")) << "wrong secret";
    EXPECT_FALSE(f.connect('g', "someone", "twelve-bytes-secret")) << "wrong user";
    auto c = f.connect('g', "reader", "twelve-bytes-secret", &error);
    ASSERT_TRUE(c) << error;
    Task t(iscsi_read10_sync(c.get(), 0, 70, 2048, 2048, 0, 0, 0, 0, 0));
    ASSERT_EQ(t->status, SCSI_STATUS_GOOD);
    EXPECT_EQ(std::vector<std::uint8_t>(t->datain.data, t->datain.data + t->datain.size), f.sectors(70, 1));
}

TEST(IscsiSession, UnknownTargetIsRefusedAtLogin) {
    TargetFixture f;
    Initiator c(iscsi_create_context(kInitiator));
    iscsi_set_targetname(c.get(), "iqn.2026-12.org.quoplex:drive-z");
    iscsi_set_session_type(c.get(), ISCSI_SESSION_NORMAL);
    EXPECT_NE(iscsi_full_connect_sync(c.get(), f.portal().c_str(), 0), 0);
}

}  // namespace
}  // namespace qpx::iscsi::test
