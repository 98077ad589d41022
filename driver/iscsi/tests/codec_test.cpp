// The pieces under the sessions: PDU framing, text keys, CHAP and the wire
// form of the drives' answers.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "big_endian.h"
#include "chap.h"
#include "operational_parameters.h"
#include "pdu_stream.h"
#include "qpx/driver/srb_status.h"
#include "text_keys.h"
#include "wire_status.h"

namespace qpx::iscsi {
namespace {

struct SocketPair {
    SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fd), 0); }
    ~SocketPair() {
        ::close(fd[0]);
        if (fd[1] >= 0) ::close(fd[1]);
    }
    int fd[2] = {-1, -1};
};

TEST(PduCodec, FramesAhsAndPaddedDataAndReadsThemBack) {
    Pdu p;
    p.set_opcode(opcode::nop_out);
    p.set_task_tag(0x01020304);
    p.set_lun(0x0001000000000000);
    p.ahs = {1, 2, 3, 4, 5, 6, 7, 8};
    p.data = {'a', 'b', 'c', 'd', 'e'};
    const auto wire = encode_pdu(p);
    ASSERT_EQ(wire.size(), 48u + 8u + 8u);
    EXPECT_EQ(wire[4], 2) << "AHS length in words";
    EXPECT_EQ(get_be24(wire, 5), 5u) << "data length without padding";
    EXPECT_EQ(get_be32(wire, 16), 0x01020304u);
    EXPECT_EQ(std::vector<std::uint8_t>(wire.end() - 3, wire.end()), (std::vector<std::uint8_t>{0, 0, 0}));

    SocketPair s;
    ASSERT_EQ(::write(s.fd[1], wire.data(), wire.size()), static_cast<ssize_t>(wire.size()));
    Pdu back;
    ASSERT_EQ(read_pdu(s.fd[0], 8192, back), ReadResult::ok);
    EXPECT_EQ(back.ahs, p.ahs);
    EXPECT_EQ(back.data, p.data);
    EXPECT_EQ(back.lun(), p.lun());
}

TEST(PduCodec, RefusesOverlongSegmentsAndNoticesTruncation) {
    Pdu p;
    p.data.assign(100, 7);
    const auto wire = encode_pdu(p);
    {
        SocketPair s;
        ASSERT_EQ(::write(s.fd[1], wire.data(), wire.size()), static_cast<ssize_t>(wire.size()));
        Pdu back;
        EXPECT_EQ(read_pdu(s.fd[0], 99, back), ReadResult::too_long);
    }
    for (const std::size_t cut : {std::size_t{0}, std::size_t{20}, std::size_t{48}, wire.size() - 1}) {
        SocketPair s;
        ASSERT_EQ(::write(s.fd[1], wire.data(), cut), static_cast<ssize_t>(cut));
        ::close(s.fd[1]);
        s.fd[1] = -1;
        Pdu back;
        EXPECT_EQ(read_pdu(s.fd[0], 8192, back), ReadResult::closed) << "cut at " << cut;
    }
}

TEST(TextKeys, ParsesPairsAndRefusesMalformedSegments) {
    const std::string good("A=1\0B=\0C=x=y\0", 13);
    const auto pairs = parse_text(std::span(reinterpret_cast<const std::uint8_t*>(good.data()), good.size()));
    ASSERT_TRUE(pairs);
    EXPECT_EQ(*pairs, (std::vector<TextPair>{{"A", "1"}, {"B", ""}, {"C", "x=y"}}));
    for (const std::string& bad : {std::string("A=1"), std::string("A\0", 2), std::string("=1\0", 3)}) {
        EXPECT_FALSE(parse_text(std::span(reinterpret_cast<const std::uint8_t*>(bad.data()), bad.size())))
            << bad;
    }
    EXPECT_EQ(parse_number("262144"), 262144u);
    EXPECT_FALSE(parse_number("99999999999"));
    EXPECT_FALSE(parse_number("12a"));
    EXPECT_FALSE(parse_number("70000", 65535));
}

TEST(OperationalKeys, AnswersAsTheResultFunctionsSay) {
    SessionParameters p;
    const auto a = negotiate_operational({{"HeaderDigest", "CRC32C,None"},
                                          {"MaxRecvDataSegmentLength", "65536"},
                                          {"MaxBurstLength", "16776192"},
                                          {"FirstBurstLength", "4096"},
                                          {"InitialR2T", "No"},
                                          {"ImmediateData", "Yes"},
                                          {"ErrorRecoveryLevel", "2"},
                                          {"X-vendor.key", "1"},
                                          {"InitiatorName", "iqn.x:y"}},
                                         p);
    EXPECT_TRUE(a.refusal.empty());
    EXPECT_EQ(a.answers, (std::vector<TextPair>{{"HeaderDigest", "None"},
                                                {"MaxBurstLength", "262144"},
                                                {"FirstBurstLength", "4096"},
                                                {"InitialR2T", "Yes"},
                                                {"ImmediateData", "No"},
                                                {"ErrorRecoveryLevel", "0"},
                                                {"X-vendor.key", "NotUnderstood"}}));
    EXPECT_EQ(p.initiator_max_recv_data_segment, 65536u);
    EXPECT_EQ(p.max_burst, 262144u);

    SessionParameters q;
    EXPECT_FALSE(negotiate_operational({{"MaxRecvDataSegmentLength", "100"}}, q).refusal.empty());
    EXPECT_FALSE(negotiate_operational({{"DataDigest", "CRC32C"}}, q).refusal.empty());
}

TEST(Chap, Md5ResponseIsTheDigestOfIdentifierSecretAndChallenge) {
    // MD5("abc") = 900150983cd24fb0d6963f7d28e17f72 (RFC 1321): identifier 'a', secret "b", challenge "c".
    const auto digest = chap_md5_response('a', "b", {'c'});
    EXPECT_EQ(to_hex_value(digest.data(), digest.size()), "0x900150983cd24fb0d6963f7d28e17f72");

    ChapChallenge c = make_chap_challenge();
    const auto right = chap_md5_response(c.identifier, "secret-of-12b",
                                         std::vector<std::uint8_t>(c.challenge.begin(), c.challenge.end()));
    EXPECT_TRUE(chap_response_matches(c, "secret-of-12b", to_hex_value(right.data(), right.size())));
    EXPECT_FALSE(chap_response_matches(c, "secret-of-12c", to_hex_value(right.data(), right.size())));
    EXPECT_FALSE(chap_response_matches(c, "secret-of-12b", to_hex_value(right.data(), 15)));
    EXPECT_FALSE(chap_response_matches(c, "secret-of-12b", "0xzz"));
    EXPECT_TRUE(chap_offers_md5("7,5"));
    EXPECT_FALSE(chap_offers_md5("7,55"));
}

TEST(WireStatus, MapsTheDrivesAnswersOntoTheWire) {
    std::array<std::uint8_t, 18> sense{};
    std::vector<std::uint8_t> data(4 * 2048);
    driver::ScsiRequest r;
    r.cdb = {0x28, 0, 0, 0, 0x01, 0x00, 0, 0, 4, 0};  // READ(10) of 4 sectors at 256
    r.data = data;
    r.sense = sense;

    // The drive's short read (NO SENSE after three sectors) becomes 3/11/00 naming sector 259.
    r.status = driver::SrbStatus::error_with_sense;
    r.scsi_status = driver::kScsiCheckCondition;
    r.transferred = 3 * 2048;
    sense[0] = 0x70;
    sense[7] = 10;
    WireStatus w = wire_status_of(r);
    EXPECT_EQ(w.status, driver::kScsiCheckCondition);
    EXPECT_EQ(w.data_bytes, 3u * 2048);
    ASSERT_EQ(w.sense.size(), 18u);
    EXPECT_EQ(w.sense[0], 0xF0) << "valid bit";
    EXPECT_EQ(w.sense[2], 0x03);
    EXPECT_EQ(w.sense[12], 0x11);
    EXPECT_EQ(get_be32(w.sense, 3), 259u);

    struct Case {
        driver::SrbStatus status;
        std::uint8_t scsi_status, key, asc;
    };
    for (const Case c : {Case{driver::SrbStatus::invalid_request, 0x02, 0x05, 0x20},
                         Case{driver::SrbStatus::busy, 0x08, 0, 0},
                         Case{driver::SrbStatus::error, 0x02, 0x04, 0x00},
                         Case{driver::SrbStatus::selection_timeout, 0x02, 0x04, 0x00}}) {
        r.status = c.status;
        w = wire_status_of(r);
        EXPECT_EQ(w.status, c.scsi_status) << int(c.status);
        EXPECT_EQ(w.data_bytes, 0u);
        if (c.key) {
            ASSERT_EQ(w.sense.size(), 18u);
            EXPECT_EQ(w.sense[2], c.key);
            EXPECT_EQ(w.sense[12], c.asc);
        } else {
            EXPECT_TRUE(w.sense.empty());
        }
    }
}

}  // namespace
}  // namespace qpx::iscsi
