// The port protocol's messages: what one side encodes the other decodes
// unchanged, and answers that do not fit their request are refused.
#include <gtest/gtest.h>

#include "devices/port_protocol.h"

namespace qpx::devices::protocol {
namespace {

TEST(PortProtocol, RequestsSurviveTheWire) {
    PassThroughRequest read;
    read.bus = 1;
    read.target = 5;
    read.cdb_length = 10;
    read.cdb = {0x28, 0, 0, 0, 1, 2, 0, 0, 32, 0};
    read.direction = Direction::out;
    read.sense_length = 18;
    read.timeout_seconds = 10;
    read.data_length = 3;
    read.data_out = {7, 8, 9};
    const DecodedRequest p = decode_request(encode_request(read));
    ASSERT_EQ(p.status, Status::ok);
    const auto& got = std::get<PassThroughRequest>(p.body);
    EXPECT_EQ(got.bus, 1);
    EXPECT_EQ(got.target, 5);
    EXPECT_EQ(got.cdb, read.cdb);
    EXPECT_EQ(got.direction, Direction::out);
    EXPECT_EQ(got.sense_length, 18);
    EXPECT_EQ(got.timeout_seconds, 10u);
    EXPECT_EQ(got.data_out, read.data_out);

    const DecodedRequest m = decode_request(encode_request(MiniportRequest{28, {1, 2, 3, 4}}));
    ASSERT_EQ(m.status, Status::ok);
    EXPECT_EQ(std::get<MiniportRequest>(m.body).output_length, 28u);
    EXPECT_EQ(std::get<MiniportRequest>(m.body).buffer, (std::vector<std::uint8_t>{1, 2, 3, 4}));

    const DecodedRequest o = decode_request(encode_request(OpenRequest{DeviceKind::drive, 3, 2, 1, 0}));
    ASSERT_EQ(o.status, Status::ok);
    EXPECT_EQ(std::get<OpenRequest>(o.body).port, 3);
    EXPECT_EQ(std::get<OpenRequest>(o.body).bus, 2);
}

TEST(PortProtocol, RequestFieldsAreCheckedAgainstTheBytesReceived) {
    PassThroughRequest in;
    in.cdb_length = 6;
    in.direction = Direction::in;
    in.data_length = 2048;
    auto body = encode_request(in);
    auto with_byte = [&](std::size_t at, std::uint8_t v) {
        auto b = body;
        b[at] = v;
        return b;
    };
    auto extra = body;
    extra.push_back(0);
    struct Case {
        const char* what;
        std::vector<std::uint8_t> body;
        Status expected;
    } cases[] = {
        {"as sent", body, Status::ok},
        {"byte left over", extra, Status::malformed},
        {"cut short", std::vector<std::uint8_t>(body.begin(), body.end() - 1), Status::malformed},
        {"CDB length 17", with_byte(5, 17), Status::malformed},
        {"direction 3", with_byte(22, 3), Status::malformed},
        {"data-in carries bytes", [&] {
             auto b = body;
             b[22] = 1;
             b.push_back(1);
             return b;
         }(), Status::malformed},
        {"open of kind 3", {kVersion, 1, 3, 0, 0, 0, 0}, Status::malformed},
        {"get-address with bytes", {kVersion, 4, 0}, Status::malformed},
        {"version 2", {2, 4}, Status::bad_version},
        {"function 0", {kVersion, 0}, Status::unknown_function},
    };
    for (const auto& c : cases) EXPECT_EQ(decode_request(c.body).status, c.expected) << c.what;
}

TEST(PortProtocol, RepliesThatDoNotFitAreRefused) {
    PassThroughReply answer;
    answer.srb_status = 0x84;
    answer.scsi_status = 2;
    answer.sense = std::vector<std::uint8_t>(18, 6);
    answer.transferred = 4;
    answer.data_in = {1, 2, 3, 4};
    const auto body = encode_reply({Function::pass_through, Status::ok, answer});
    Reply r;
    ASSERT_TRUE(decode_reply(body, Function::pass_through, r));
    EXPECT_EQ(std::get<PassThroughReply>(r.body).sense, answer.sense);
    EXPECT_EQ(std::get<PassThroughReply>(r.body).data_in, answer.data_in);

    EXPECT_FALSE(decode_reply(body, Function::miniport, r)) << "another function";
    auto long_sense = body;
    long_sense[5] = 200;  // more sense than the body holds
    EXPECT_FALSE(decode_reply(long_sense, Function::pass_through, r));
    const auto address = encode_reply({Function::get_address, Status::ok, AddressReply{1, 2, 3, 0}});
    auto bad_length = address;
    bad_length[3] = 9;
    EXPECT_FALSE(decode_reply(bad_length, Function::get_address, r));
    EXPECT_TRUE(decode_reply(address, Function::get_address, r));
    EXPECT_TRUE(decode_reply(encode_status_reply(3, Status::not_open), Function::pass_through, r));
    EXPECT_EQ(r.status, Status::not_open);
    const std::vector<std::uint8_t> unknown_status = {kVersion, 3, 200};
    EXPECT_FALSE(decode_reply(unknown_status, Function::pass_through, r)) << "unknown status";
}

}  // namespace
}  // namespace qpx::devices::protocol
