// The host under load and under clients that misbehave: many readers at
// once, clients that leave mid-read, and SIGTERM while reads run. The host
// never crashes or hangs and answers every well-formed request. CI runs
// these under ThreadSanitizer (scripts/ci-tsan.sh).
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>

#include <atomic>
#include <cstring>
#include <future>
#include <random>
#include <thread>

#include "devices/frame_io.h"
#include "devices/port_protocol.h"
#include "disc_support.h"
#include "port_client_support.h"
#include "qpxdrv.h"

namespace qpx::testing {
namespace {

namespace proto = devices::protocol;

// Four drives: the large plain disc twice, the small compressed one twice.
class BusyPort : public ::testing::Test {
protected:
    void SetUp() override {
        discs_ = {&large_plain_disc(), &large_plain_disc(), &small_compressed_disc(), &small_compressed_disc()};
        std::string list;
        for (const DiscImage* d : discs_) list += d->container.string() + ";";
        ASSERT_EQ(QPXSetContainerFiles(list.c_str()), 0);
        configure_port_host(4, 2);  // fewer buffer sets than readers of compressed drives
        host_ = std::make_unique<PortHostProcess>();
        ASSERT_TRUE(host_->wait_ready()) << host_->log();
    }
    void TearDown() override {
        if (host_) {
            EXPECT_EQ(host_->stop(), 0) << host_->log();
        }
    }
    static std::string letter_device(int drive) { return std::string("\\\\.\\") + char('G' + drive) + ":"; }

    ScopedMachineRoot root_;
    std::unique_ptr<PortHostProcess> host_;
    std::vector<const DiscImage*> discs_;
};

// Reads random runs of one drive and checks them; returns the number of reads.
std::size_t read_and_check(const std::string& device_name, const DiscImage& disc, unsigned seed,
                           std::chrono::steady_clock::time_point until, std::string& failure) {
    devices::Device device;
    if (auto ec = devices::open_device(device_name, device, {1, {}, {}})) {
        failure = device_name + ": " + ec.message();
        return 0;
    }
    // Read through the start-up medium report first.
    if (read10_after_attention(device, 16, 1).srb_status != kSrbSuccess) {
        failure = device_name + ": never ready";
        return 0;
    }
    std::mt19937 random(seed);
    std::size_t reads = 0;
    while (std::chrono::steady_clock::now() < until) {
        const std::uint32_t count = random() % 2 ? 1 : 32;  // 2 KB or 64 KB
        const std::uint32_t lba = 16 + random() % (disc.sector_count() - 16 - count);
        const ScsiAnswer a = read10(device, lba, count);
        if (a.error || a.srb_status != kSrbSuccess || !std::ranges::equal(a.data, disc.sector(lba, count))) {
            failure = device_name + ": read of " + std::to_string(count) + " at " + std::to_string(lba) +
                      " failed (srb " + std::to_string(a.srb_status) + ")";
            return reads;
        }
        ++reads;
    }
    return reads;
}

TEST_F(BusyPort, EightClientsReadFourDrivesAtOnce) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    std::vector<std::future<std::size_t>> readers;
    std::vector<std::string> failures(8);
    for (int i = 0; i < 8; ++i)
        readers.push_back(std::async(std::launch::async, [&, i] {
            return read_and_check(letter_device(i % 4), *discs_[i % 4], i, until, failures[i]);
        }));
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(readers[i].wait_for(PortHostProcess::kTimeout), std::future_status::ready) << "reader " << i;
        EXPECT_GT(readers[i].get(), 0u) << "reader " << i;
        EXPECT_EQ(failures[i], "") << "reader " << i;
    }
}

TEST_F(BusyPort, ClientsThatLeaveMidReadCostNothing) {
    auto good = open_or_fail(letter_device(2));
    ASSERT_EQ(read10_after_attention(good, 16, 1).srb_status, kSrbSuccess);
    for (int i = 0; i < 40; ++i) {
        devices::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strcpy(addr.sun_path, devices::port_socket_path().c_str());
        ASSERT_EQ(::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ASSERT_TRUE(devices::send_frame(fd.get(), proto::encode_request(proto::OpenRequest{
                                                      proto::DeviceKind::drive, 0, 1, static_cast<std::uint8_t>(i % 4), 0})));
        std::vector<std::uint8_t> reply;
        ASSERT_EQ(devices::read_frame(fd.get(), reply, proto::kMaxFrameBody), devices::FrameRead::ok);
        proto::PassThroughRequest read;
        read.cdb_length = 10;
        read.cdb = {0x28, 0, 0, 0, 0, static_cast<std::uint8_t>(16 + i), 0, 0, 32, 0};
        read.direction = proto::Direction::in;
        read.data_length = 65536;
        read.sense_length = 18;
        ASSERT_TRUE(devices::send_frame(fd.get(), proto::encode_request(read)));
        // Gone before the answer.
    }
    // The drives answer on as before, including those the leavers were reading.
    for (int d = 0; d < 4; ++d) {
        auto device = open_or_fail(letter_device(d));
        const ScsiAnswer a = read10_after_attention(device, 20, 32);
        ASSERT_EQ(a.srb_status, kSrbSuccess) << d;
        EXPECT_TRUE(std::ranges::equal(a.data, discs_[d]->sector(20, 32))) << d;
    }
}

TEST_F(BusyPort, SigtermWhileReadingEndsTheHostCleanly) {
    std::atomic<bool> stop{false};
    std::vector<std::future<void>> readers;
    std::atomic<int> reading{0};
    for (int i = 0; i < 8; ++i)
        readers.push_back(std::async(std::launch::async, [&, i] {
            devices::Device device;
            if (devices::open_device(letter_device(i % 4), device, {1, {}, {}})) return;
            bool counted = false;
            while (!stop) {
                const ScsiAnswer a = read10(device, 16 + i, 32);
                if (a.error) return;  // the host went away: the call fails, it does not hang
                if (!counted && a.srb_status == kSrbSuccess) {
                    counted = true;
                    ++reading;
                }
            }
        }));
    const auto until = std::chrono::steady_clock::now() + PortHostProcess::kTimeout;
    while (reading < 8 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(reading, 8);

    EXPECT_EQ(host_->stop(), 0) << host_->log();
    EXPECT_FALSE(host_->had_to_be_killed());
    for (auto& r : readers) EXPECT_EQ(r.wait_for(PortHostProcess::kTimeout), std::future_status::ready);
    stop = true;
    std::string letters;
    for (const auto& e : drives::all_entries()) letters += e.letter;
    EXPECT_EQ(letters, "") << "withdrawn on the way out";
    host_.reset();
}

}  // namespace
}  // namespace qpx::testing
