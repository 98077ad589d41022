// A port of ten drives as programs see it through the port device: buses
// and units, the control codes, the player ring, and requests that do not
// fit the protocol.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>
#include <future>
#include <string_view>

#include "devices/byte_fields.h"
#include "devices/frame_io.h"
#include "devices/port_protocol.h"
#include "port_client_support.h"

namespace qpx::testing {
namespace {

namespace proto = devices::protocol;

class TenDrivePort : public ::testing::Test {
protected:
    void SetUp() override {
        configure_port_host(10);
        host_ = std::make_unique<PortHostProcess>();
        ASSERT_TRUE(host_->wait_ready()) << host_->log();
        port_ = open_or_fail(port_device(0));
    }
    void TearDown() override {
        port_.close();
        if (host_) {
            EXPECT_EQ(host_->stop(), 0) << "the host ends cleanly after every test";
        }
    }

    ScopedMachineRoot root_;
    std::unique_ptr<PortHostProcess> host_;
    devices::Device port_;
};

TEST_F(TenDrivePort, BusesCarryControllersThenDrivesThenNothing) {
    for (std::uint8_t t = 0; t < 8; ++t) {
        const ScsiAnswer a = inquiry(port_, 0, t);
        ASSERT_EQ(a.srb_status, kSrbSuccess) << int(t);
        EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(a.data.data()) + 16, 10), "Controller") << int(t);
    }
    for (std::uint32_t drive = 0; drive < 10; ++drive) {
        const ScsiAnswer a = inquiry(port_, static_cast<std::uint8_t>(drive / 8 + 1), drive % 8);
        ASSERT_EQ(a.srb_status, kSrbSuccess) << drive;
        EXPECT_EQ(a.data[0], 0x05) << "drive " << drive << " is a CD-ROM drive";
    }
    struct Address {
        std::uint8_t bus, target, lun;
    } absent[] = {{2, 2, 0}, {2, 7, 0}, {3, 0, 0}, {1, 0, 1}, {0, 8, 0}, {255, 255, 0}};
    for (const auto& a : absent)
        EXPECT_EQ(inquiry(port_, a.bus, a.target, a.lun).srb_status, kSrbSelectionTimeout)
            << int(a.bus) << "/" << int(a.target) << "/" << int(a.lun);
}

TEST_F(TenDrivePort, UpdateDriveTakesBusAndTargetOnlyWhenTheDataCarriesThem) {
    auto cut = control_buffer(kUpdateDrive, {1, 0});
    cut.resize(20);
    struct Case {
        const char* what;
        std::vector<std::uint8_t> buffer;
        std::uint8_t expected;
    } cases[] = {
        {"drive 0", control_buffer(kUpdateDrive, {1, 0, 0, 0}), kSrbSuccess},
        {"drive 9", control_buffer(kUpdateDrive, {2, 1}), kSrbSuccess},
        {"bus 2 target 2", control_buffer(kUpdateDrive, {2, 2, 1, 0}), kSrbSelectionTimeout},
        {"bus 9", control_buffer(kUpdateDrive, {9, 0, 1, 0}), kSrbSelectionTimeout},
        {"data length 0", control_buffer(kUpdateDrive, {1, 0, 0, 0}, 0), kSrbInvalidRequest},
        {"data length 1", control_buffer(kUpdateDrive, {1, 0, 0, 0}, 1), kSrbInvalidRequest},
        {"data length beyond the buffer", control_buffer(kUpdateDrive, {1, 0}, 4), kSrbInvalidRequest},
        {"no data bytes", control_buffer(kUpdateDrive, {}, 4), kSrbInvalidRequest},
        {"header cut short", cut, kSrbInvalidRequest},
        {"unknown code", control_buffer(0x1B0508, {1, 0, 0, 0}), kSrbInvalidRequest},
    };
    for (const auto& c : cases) {
        const ControlAnswer a = control(port_, c.buffer);
        ASSERT_FALSE(a.error) << c.what << ": " << a.error.message();
        EXPECT_EQ(a.result.srb_status, c.expected) << c.what;
        EXPECT_EQ(a.result.returned, 28u) << c.what;
    }
}

TEST_F(TenDrivePort, HeldRequestsWaitForTheReleaseAndVanishWithTheirClient) {
    auto holder = open_or_fail(port_device(0));
    const auto hold = control_buffer(kHoldRequest);
    auto held = std::async(std::launch::async, [&] { return control(holder, hold); });
    EXPECT_EQ(held.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout) << "the hold stays pending";

    // A second holder that goes away while held.
    {
        auto leaving = open_or_fail(port_device(0));
        int fd = -1;
        // Send the hold without waiting for its answer, then close.
        auto raw = [&] {
            fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            std::strcpy(addr.sun_path, devices::port_socket_path().c_str());
            ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
            ASSERT_TRUE(devices::send_frame(fd, proto::encode_request(proto::OpenRequest{})));
            std::vector<std::uint8_t> reply;
            ASSERT_EQ(devices::read_frame(fd, reply, proto::kMaxFrameBody), devices::FrameRead::ok);
            ASSERT_TRUE(devices::send_frame(fd, proto::encode_request(proto::MiniportRequest{28, hold})));
        };
        raw();
        ::close(fd);
    }

    // The port stays usable while requests are held.
    EXPECT_EQ(inquiry(port_, 1, 0).srb_status, kSrbSuccess);
    const ControlAnswer released = control(port_, control_buffer(kReleaseHeld));
    EXPECT_EQ(released.result.srb_status, kSrbSuccess);
    ASSERT_EQ(held.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    const ControlAnswer h = held.get();
    EXPECT_FALSE(h.error);
    EXPECT_EQ(h.result.srb_status, kSrbSuccess);

    // Nothing is left held: a release with nothing held still succeeds.
    EXPECT_EQ(control(port_, control_buffer(kReleaseHeld)).result.srb_status, kSrbSuccess);
}

TEST_F(TenDrivePort, TheRingIsSharedMemoryInitialisedAtEveryMapRequest) {
    const ControlAnswer first = control(port_, control_buffer(kMapPlayerRing));
    ASSERT_FALSE(first.error) << first.error.message();
    EXPECT_EQ(first.result.srb_status, kSrbSuccess);
    ASSERT_TRUE(first.result.ring);
    EXPECT_NE(devices::load_le32(first.output, 0), 0u) << "a non-zero address when mapped";
    auto ring = first.result.ring->bytes();
    ASSERT_EQ(ring.size(), 16384u);
    EXPECT_EQ(std::memcmp(ring.data(), "qpxmport\0", 9), 0);
    EXPECT_TRUE(std::all_of(ring.begin() + 9, ring.end(), [](std::uint8_t b) { return b == 0xFE; }));

    // Scribble over it; a second map request (another client) re-initialises
    // the very same memory the first client still has mapped.
    std::fill(ring.begin(), ring.end(), std::uint8_t{0x11});
    auto player = open_or_fail(port_device(0));
    const ControlAnswer second = control(player, control_buffer(kMapPlayerRing));
    ASSERT_TRUE(second.result.ring);
    for (auto bytes : {ring, second.result.ring->bytes()}) {
        EXPECT_EQ(std::memcmp(bytes.data(), "qpxmport\0", 9), 0);
        EXPECT_TRUE(std::all_of(bytes.begin() + 9, bytes.end(), [](std::uint8_t b) { return b == 0xFE; }));
    }

    // The drives' player commands land in the shared ring: STOP (START
    // STOP UNIT, start bit clear) is a record with command 1 and unit 0.
    ASSERT_EQ(scsi(port_, {0x1B, 0, 0, 0, 0, 0}, 0, 1, 0).srb_status, kSrbSuccess);
    auto mapped = second.result.ring->bytes();
    EXPECT_EQ(devices::load_le32(mapped, 16), 1u);
    EXPECT_EQ(devices::load_le32(mapped, 20), 0u);
    EXPECT_EQ(mapped[16 + 144], 0xFE) << "the next slot stays empty";

    const ControlAnswer tiny = control(port_, control_buffer(kMapPlayerRing), 2);
    EXPECT_EQ(tiny.result.srb_status, kSrbInvalidRequest) << "no room for the address";
    EXPECT_FALSE(tiny.result.ring);
}

TEST_F(TenDrivePort, GetAddressBelongsToDriveDevices) {
    drives::ScsiAddress address;
    EXPECT_EQ(port_.get_address(address), devices::DeviceErrc::not_supported);
    auto drive = open_or_fail("\\\\.\\P:");  // drive 9
    ASSERT_FALSE(drive.get_address(address));
    EXPECT_EQ(address, (drives::ScsiAddress{0, 2, 1, 0}));
    // A drive device addresses its own drive whatever the request names.
    EXPECT_EQ(inquiry(drive, 0, 0).data[0], 0x05);
}

// Frames sent byte for byte, as a broken or hostile client might.
class RawClient {
public:
    RawClient() : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strcpy(addr.sun_path, devices::port_socket_path().c_str());
        connected_ = ::connect(fd_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    bool connected() const { return connected_; }
    void send_bytes(const std::vector<std::uint8_t>& bytes) {
        ASSERT_EQ(::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    }
    void send_body(const std::vector<std::uint8_t>& body) { ASSERT_TRUE(devices::send_frame(fd_.get(), body)); }
    // The status of the next reply; -1 when the host closed the connection.
    int reply_status() {
        std::vector<std::uint8_t> body;
        if (devices::read_frame(fd_.get(), body, proto::kMaxFrameBody) != devices::FrameRead::ok) return -1;
        return body.size() >= 3 ? body[2] : -2;
    }

private:
    devices::UniqueFd fd_;
    bool connected_ = false;
};

TEST_F(TenDrivePort, MalformedRequestsAreAnsweredAndTheConnectionGoesOn) {
    RawClient client;
    ASSERT_TRUE(client.connected());
    client.send_body(proto::encode_request(proto::GetAddressRequest{}));
    EXPECT_EQ(client.reply_status(), int(proto::Status::not_open));
    client.send_body(proto::encode_request(proto::OpenRequest{proto::DeviceKind::drive, 0, 1, 0, 0}));
    ASSERT_EQ(client.reply_status(), int(proto::Status::ok));

    proto::PassThroughRequest read;
    read.cdb_length = 10;
    read.cdb = {0x28};
    read.direction = proto::Direction::in;
    read.data_length = 2048;
    auto good = proto::encode_request(read);

    struct Case {
        const char* what;
        std::vector<std::uint8_t> body;
        proto::Status expected;
    };
    std::vector<Case> cases = {
        {"empty body", {}, proto::Status::malformed},
        {"version only", {proto::kVersion}, proto::Status::malformed},
        {"other version", {9, 3}, proto::Status::bad_version},
        {"unknown function", {proto::kVersion, 77}, proto::Status::unknown_function},
        {"pass-through header cut short", std::vector<std::uint8_t>(good.begin(), good.begin() + 20),
         proto::Status::malformed},
        {"second open", proto::encode_request(proto::OpenRequest{}), proto::Status::already_open},
        {"open of another port", proto::encode_request(proto::OpenRequest{proto::DeviceKind::port, 7}),
         proto::Status::already_open},
    };
    auto with = [&](auto change) {
        auto r = read;
        change(r);
        return proto::encode_request(r);
    };
    // Lengths beyond what was sent: the data-out length says more than carried.
    auto out_short = with([](auto& r) {
        r.direction = proto::Direction::out;
        r.data_length = 4096;
        r.data_out.assign(100, 0);
    });
    devices::store_le32(out_short, 2 + 28, 4096);
    cases.push_back({"data-out shorter than its length", out_short, proto::Status::malformed});
    cases.push_back({"transfer beyond 64 KB", with([](auto& r) { r.data_length = 65537; }), proto::Status::malformed});
    cases.push_back({"CDB of 17 bytes", with([](auto& r) { r.cdb_length = 17; }), proto::Status::malformed});
    cases.push_back({"CDB of 0 bytes", with([](auto& r) { r.cdb_length = 0; }), proto::Status::malformed});
    auto miniport_long = proto::encode_request(proto::MiniportRequest{1u << 20, {}});
    cases.push_back({"control output beyond any buffer", miniport_long, proto::Status::malformed});

    for (const auto& c : cases) {
        client.send_body(c.body);
        EXPECT_EQ(client.reply_status(), int(c.expected)) << c.what;
    }
    // The connection still serves well-formed requests.
    client.send_body(proto::encode_request(proto::GetAddressRequest{}));
    EXPECT_EQ(client.reply_status(), int(proto::Status::ok));

    // A frame longer than any message ends the connection after one answer.
    client.send_bytes({0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3});
    EXPECT_EQ(client.reply_status(), int(proto::Status::too_large));
    EXPECT_EQ(client.reply_status(), -1);

    // A client that stops in the middle of a frame costs nothing.
    RawClient partial;
    partial.send_bytes({0x40, 0x00, 0x00, 0x00, proto::kVersion});
    EXPECT_EQ(inquiry(port_, 1, 1).srb_status, kSrbSuccess);
}

}  // namespace
}  // namespace qpx::testing
