// Initiators that break the protocol get a refusal or a closed connection,
// and the target goes on serving the others.
#include <gtest/gtest.h>

#include "big_endian.h"
#include "raw_initiator.h"
#include "target_fixture.h"

namespace qpx::iscsi::test {
namespace {

// The target still logs in a well-behaved initiator and reads for it.
void expect_still_serving(const TargetFixture& f) {
    auto c = f.connect('g');
    ASSERT_TRUE(c);
    Task t(iscsi_read10_sync(c.get(), 0, 20, 2048, 2048, 0, 0, 0, 0, 0));
    ASSERT_TRUE(t);
    EXPECT_EQ(std::vector<std::uint8_t>(t->datain.data, t->datain.data + t->datain.size), f.sectors(20, 1));
}

std::uint16_t login_status_of(const Pdu& p) { return get_be16(p.bhs, 36); }

Pdu scsi_read10(std::uint32_t tag, std::uint32_t lba, std::uint16_t blocks) {
    Pdu p;
    p.set_opcode(opcode::scsi_command);
    p.bhs[1] = 0x80 | 0x40;  // final, read
    p.set_task_tag(tag);
    p.set_field32(20, blocks * 2048u);
    p.bhs[32] = 0x28;
    put_be32(p.bhs, 34, lba);
    put_be16(p.bhs, 39, blocks);
    return p;
}

TEST(HostileInitiator, LoginPhaseViolationsEndTheConnection) {
    TargetFixture f;
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::optional<std::uint16_t> status;  // the login response's status, when one comes
    };
    const std::string target = f.target('g');
    std::vector<Case> cases;
    {
        Pdu huge = RawInitiator::login(1, 3, {});
        auto bytes = encode_pdu(huge);
        put_be24(bytes, 5, 0xFFFFFF);  // data segment far beyond 8,192 bytes
        cases.push_back({"data segment beyond the limit", bytes, std::nullopt});
    }
    cases.push_back({"a command before login", encode_pdu(scsi_read10(5, 0, 1)), 0x020B});
    {
        Pdu bad = RawInitiator::login(1, 3, {});
        bad.data = {'n', 'o', 'e', 'q', 'u', 'a', 'l', 's', 0};
        cases.push_back({"key without a value", encode_pdu(bad), 0x0200});
    }
    cases.push_back({"no initiator name", encode_pdu(RawInitiator::login(1, 3, {{"TargetName", target}})), 0x0207});
    cases.push_back({"unknown target",
                     encode_pdu(RawInitiator::login(1, 3, {{"InitiatorName", "iqn.x:y"}, {"TargetName", target + "x"}})),
                     0x0203});
    {
        Pdu digest = RawInitiator::login(1, 3, {{"InitiatorName", "iqn.x:y"}, {"TargetName", target},
                                                {"HeaderDigest", "CRC32C"}});
        cases.push_back({"digests only", encode_pdu(digest), 0x0200});
    }
    {
        Pdu stages = RawInitiator::login(3, 1, {{"InitiatorName", "iqn.x:y"}, {"TargetName", target}});
        cases.push_back({"stages backwards", encode_pdu(stages), 0x0200});
    }
    for (const Case& c : cases) {
        RawInitiator raw(f.listener->port());
        raw.send_bytes(c.bytes);
        const auto answer = raw.receive();
        if (c.status) {
            ASSERT_TRUE(answer) << c.what;
            EXPECT_EQ(answer->opcode(), opcode::login_response) << c.what;
            EXPECT_EQ(login_status_of(*answer), *c.status) << c.what;
            EXPECT_EQ(get_be16(answer->bhs, 14), 0) << c.what << ": no session";
        } else {
            EXPECT_FALSE(answer) << c.what;
        }
        EXPECT_TRUE(raw.closed_by_target(0)) << c.what;
    }
    expect_still_serving(f);
}

TEST(HostileInitiator, LoginWithoutChapIsRefusedWhenChapIsRequired) {
    TargetFixture f(ChapCredentials{"reader", "twelve-bytes-secret"});
    const std::string target = f.target('g');
    struct Case {
        const char* what;
        Pdu login;
    };
    const std::vector<Case> cases = {
        {"straight to the operational stage", RawInitiator::login(1, 3, {{"InitiatorName", "iqn.x:y"}, {"TargetName", target}})},
        {"AuthMethod None only",
         RawInitiator::login(0, 1, {{"InitiatorName", "iqn.x:y"}, {"TargetName", target}, {"AuthMethod", "None"}})},
        {"no AuthMethod at all", RawInitiator::login(0, 3, {{"InitiatorName", "iqn.x:y"}, {"TargetName", target}})},
        {"a CHAP answer without a challenge",
         RawInitiator::login(0, 1, {{"InitiatorName", "iqn.x:y"}, {"TargetName", target}, {"AuthMethod", "CHAP"},
                                    {"CHAP_N", "reader"}, {"CHAP_R", "0x00112233445566778899aabbccddeeff"}})},
    };
    for (const Case& c : cases) {
        RawInitiator raw(f.listener->port());
        raw.send(c.login);
        const auto answer = raw.receive();
        ASSERT_TRUE(answer) << c.what;
        EXPECT_EQ(login_status_of(*answer), 0x0201) << c.what;
        EXPECT_TRUE(raw.closed_by_target(0)) << c.what;
    }
}

TEST(HostileInitiator, FullFeatureViolations) {
    TargetFixture f;
    {
        RawInitiator raw(f.listener->port());
        ASSERT_TRUE(raw.log_in(f.target('g')));
        Pdu big = scsi_read10(7, 0, 1);
        auto bytes = encode_pdu(big);
        put_be24(bytes, 5, 8193);  // one byte beyond what the target declared
        raw.send_bytes(bytes);
        EXPECT_TRUE(raw.closed_by_target(0)) << "data segment over the negotiated maximum";
    }
    {
        RawInitiator raw(f.listener->port());
        ASSERT_TRUE(raw.log_in(f.target('g')));
        Pdu unknown;
        unknown.set_opcode(0x1C);
        unknown.set_task_tag(9);
        raw.send(unknown);
        const auto reject = raw.receive();
        ASSERT_TRUE(reject);
        EXPECT_EQ(reject->opcode(), opcode::reject);
        EXPECT_EQ(reject->bhs[2], 0x05) << "command not supported";
        ASSERT_EQ(reject->data.size(), kBhsSize);
        EXPECT_EQ(reject->data[0] & 0x3F, 0x1C) << "the rejected header comes back";

        Pdu nop;
        nop.bhs[0] = 0x40 | opcode::nop_out;
        nop.bhs[1] = 0x80;
        nop.set_task_tag(10);
        nop.set_field32(20, kNoTag);
        nop.data = {1, 2, 3, 4, 5};
        raw.send(nop);
        const auto echo = raw.receive();
        ASSERT_TRUE(echo);
        EXPECT_EQ(echo->opcode(), opcode::nop_in);
        EXPECT_EQ(echo->task_tag(), 10u);
        EXPECT_EQ(echo->data, nop.data);

        // A READ beyond the largest transfer of one request is refused, not allocated.
        Pdu too_long = scsi_read10(11, 16, 1);
        too_long.set_field32(20, 0x7FFFFFFF);
        raw.send(too_long);
        const auto refused = raw.receive();
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->opcode(), opcode::scsi_response);
        EXPECT_EQ(refused->bhs[3], 0x02);
        ASSERT_GE(refused->data.size(), 2u + 13u);
        EXPECT_EQ(refused->data[2 + 2] & 0x0F, 0x05);
        EXPECT_EQ(refused->data[2 + 12], 0x24);
    }
    expect_still_serving(f);
}

TEST(HostileInitiator, DisconnectsMidPduAndMidReadLeaveTheTargetServing) {
    TargetFixture f;
    {
        RawInitiator raw(f.listener->port());
        auto bytes = encode_pdu(RawInitiator::login(1, 3, {{"InitiatorName", "iqn.x:y"}}));
        bytes.resize(30);  // half a header
        raw.send_bytes(bytes);
    }
    {
        RawInitiator raw(f.listener->port());
        ASSERT_TRUE(raw.log_in(f.target('g')));
        for (std::uint32_t tag = 1; tag <= 8; ++tag) raw.send(scsi_read10(tag, 16 + tag, 32));
        // Gone before the Data-In arrives.
    }
    expect_still_serving(f);
    f.listener->stop();  // returns with every connection's reads ended
}

}  // namespace
}  // namespace qpx::iscsi::test
