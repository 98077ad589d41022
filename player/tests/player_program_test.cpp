// The qpxplayer program itself: it plays into its file sink what a drive
// of a real qpxmport is told to play, tells the port host when it ends
// (which releases held requests), and ends cleanly on SIGTERM, also when no
// port host was ever there.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <fstream>
#include <future>
#include <thread>

#include "devices/byte_fields.h"
#include "driver_link.h"
#include "port_host_process.h"
#include "qpx/container_writer/container_writer.h"
#include "qpxdrv.h"
#include "sox_support.h"

namespace qpx::player::test {
namespace {

using namespace std::chrono_literals;

class PlayerProgram {
public:
    explicit PlayerProgram(const std::filesystem::path& sink, const std::filesystem::path& log) {
        const auto program = qpx::testing::program_path("qpxplayer");
        pid_ = ::fork();
        if (pid_ == 0) {
            const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd >= 0) ::dup2(fd, STDERR_FILENO);
            ::execl(program.c_str(), program.c_str(), "--file-sink", sink.c_str(), nullptr);
            ::_exit(127);
        }
    }
    ~PlayerProgram() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    // SIGTERM, then a bounded wait: the exit status, or nothing when it hung.
    std::optional<int> terminate() {
        ::kill(pid_, SIGTERM);
        for (int i = 0; i < 1000; ++i) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        }
        return std::nullopt;
    }

private:
    pid_t pid_ = -1;
};

std::string read_text(const std::filesystem::path& file) {
    std::ifstream in(file);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::uint8_t send(devices::Device& port, std::vector<std::uint8_t> cdb, std::vector<std::uint8_t>* in = nullptr) {
    std::vector<std::uint8_t> data(in ? 16 : 0);
    std::array<std::uint8_t, 32> sense{};
    devices::PassThroughDirect r;
    r.bus = 1;
    r.cdb = cdb;
    r.direction = in ? devices::DataDirection::in : devices::DataDirection::none;
    r.data = data;
    r.sense = sense;
    if (port.pass_through_direct(r)) return 0;
    if (in) *in = data;
    return r.srb_status;
}

TEST(PlayerProgramTest, PlaysATrackAndItsShutdownReleasesHeldRequests) {
    qpx::testing::ScopedMachineRoot root;
    qpx::testing::TempDir dir("player-program");
    const auto wave = make_wave(dir.path(), "one.wav", 1.0);
    container_writer::ContainerPlan plan;
    plan.type = container::ContainerType::track_table;
    plan.disc_format = container::disc_format::audio;
    plan.tracks = {container_writer::audio_track(0, 75, "Track 1.wav", wave)};
    container_writer::write_container(plan, dir / "audio.qim");
    ASSERT_EQ(QPXSetContainerFiles(((dir / "audio.qim").string() + ";").c_str()), 0);
    qpx::testing::configure_port_host(1);
    qpx::testing::PortHostProcess host;
    ASSERT_TRUE(host.wait_ready()) << host.log();
    const std::string port_name = "\\\\.\\Scsi" + std::to_string(PortLink::find_port().value_or(-1)) + ":";
    devices::Device port;
    ASSERT_FALSE(devices::open_device(port_name, port));
    for (int i = 0; i < 200 && send(port, {0, 0, 0, 0, 0, 0}) != devices::kSrbSuccess; ++i)
        std::this_thread::sleep_for(10ms);

    PlayerProgram player(dir / "heard.raw", dir / "player.log");
    bool connected = false;
    for (int i = 0; i < 500 && !connected; ++i) {
        std::this_thread::sleep_for(10ms);
        connected = read_text(dir / "player.log").find("connected to the port host") != std::string::npos;
    }
    ASSERT_TRUE(connected) << read_text(dir / "player.log");
    ASSERT_EQ(send(port, {0x47, 0, 0, 0, 2, 0, 0, 2, 74, 0}), devices::kSrbSuccess);
    std::vector<std::uint8_t> block;
    bool completed = false;
    for (int i = 0; i < 100 && !completed; ++i) {
        std::this_thread::sleep_for(50ms);
        ASSERT_EQ(send(port, {0x42, 0x02, 0x40, 1, 0, 0, 0, 0, 16, 0}, &block), devices::kSrbSuccess);
        completed = block[1] == 0x13;
    }
    ASSERT_TRUE(completed) << "the track never ended";
    EXPECT_TRUE(read_raw_samples(dir / "heard.raw") == sox_decoding(wave));

    // A request held for the player is released by the player's shutdown.
    devices::Device holder;
    ASSERT_FALSE(devices::open_device(port_name, holder));
    auto held = std::async(std::launch::async, [&] {
        std::vector<std::uint8_t> header(28, 0);
        devices::store_le32(header, 0, 28);
        devices::store_le32(header, 12, 10000);
        devices::store_le32(header, 16, 0x1B0507);
        std::vector<std::uint8_t> out(28);
        devices::MiniportResult result;
        return holder.miniport_control(header, out, result) ? 0 : result.srb_status;
    });
    ASSERT_EQ(held.wait_for(200ms), std::future_status::timeout);
    EXPECT_EQ(player.terminate(), 0);
    ASSERT_EQ(held.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(held.get(), devices::kSrbSuccess);
}

TEST(PlayerProgramTest, EndsCleanlyWhenNoPortHostIsThere) {
    qpx::testing::ScopedMachineRoot root;
    qpx::testing::TempDir dir("player-program");
    PlayerProgram player(dir / "heard.raw", dir / "player.log");
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(player.terminate(), 0);
    const std::string text = read_text(dir / "player.log");
    EXPECT_NE(text.find("waiting for the port host"), std::string::npos) << text;
}

}  // namespace
}  // namespace qpx::player::test
