// The whole road of one insertion, with the real programs: qpxmport serves
// two drives on a private machine, qpxcmd inserts a container made from a
// real ISO image, the volume descriptor is read back through the drive, and
// a second program on the same session bus hears the broadcasts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "notify/notifications.h"
#include "port_host_process.h"
#include "qpxdrv.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace qpx::testing {
namespace {

namespace fs = std::filesystem;
using notify::Message;

// Listens in a child process for `expected` messages (or 10 s) and hands
// back what it heard as text, one "NAME w l;" each.
class Listener {
public:
    explicit Listener(std::size_t expected) {
        int ready[2];
        if (pipe(ready) != 0 || pipe(result_) != 0) throw std::runtime_error("pipe");
        pid_ = spawn_child([&] {
            const Message wanted[] = {Message::ImageAdded, Message::IndexChanged};
            auto n = notify::connect_session(wanted);
            (void)!write(ready[1], n->connected() ? "y" : "n", 1);
            std::string text;
            std::size_t heard = 0;
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (heard < expected && std::chrono::steady_clock::now() < until) {
                n->wait(std::chrono::milliseconds(100));
                for (const auto& x : n->take()) {
                    text += std::string(notify::message_name(x.message)) + " " + std::to_string(x.wparam) + " " +
                            std::to_string(x.lparam) + ";";
                    ++heard;
                }
            }
            (void)!write(result_[1], text.data(), text.size());
            return 0;
        });
        close(ready[1]);
        close(result_[1]);
        char c = 0;
        connected_ = read(ready[0], &c, 1) == 1 && c == 'y';
        close(ready[0]);
    }
    bool connected() const { return connected_; }
    std::string heard() {
        std::string text;
        char buf[256];
        ssize_t r;
        while ((r = read(result_[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(r));
        close(result_[0]);
        child_exit_code(pid_);
        return text;
    }

private:
    int result_[2];
    pid_t pid_;
    bool connected_ = false;
};

class Road : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        configure_port_host(2);
        host_.emplace();  // started only once it is configured
        ASSERT_TRUE(host_->wait_ready()) << host_->log();
        // A real ISO image of a small real folder tree, and a container of it
        // in a folder whose name holds a blank.
        fs::create_directories(dir_ / "tree/docs");
        for (int i = 0; i < 40; ++i)
            std::ofstream(dir_ / "tree/docs" / ("file" + std::to_string(i) + ".txt"))
                << std::string(5000 + i * 37, static_cast<char>('a' + i % 26));
        iso_ = dir_ / "disc.iso";
        ASSERT_EQ(run_command("xorriso -as mkisofs -quiet -J -R -V ROADTEST -o '" + iso_.string() + "' '" +
                              (dir_ / "tree").string() + "' 2>/dev/null"),
                  0);
        fs::create_directories(dir_ / "My Discs");
        container_ = dir_ / "My Discs" / "Road Test.qim";
        ASSERT_EQ(run_command("'" + program_path("qpx-mkcontainer").string() + "' --type 1 '" + iso_.string() +
                              "' '" + container_.string() + "'"),
                  0);
    }

    int qpxcmd(const std::string& args, std::string* errors = nullptr) {
        const auto err = dir_ / "qpxcmd.err";
        int status = run_command("'" + program_path("qpxcmd").string() + "' " + args + " 2>'" + err.string() + "'");
        if (errors) {
            std::ifstream in(err);
            errors->assign(std::istreambuf_iterator<char>(in), {});
        }
        return status;
    }

    // Reads sector 16 through the drive, giving the drive a few seconds to
    // open its new medium.
    std::string volume_descriptor(char letter) {
        std::array<char, 2048> sector{};
        for (int i = 0; i < 100; ++i) {
            if (QPXReadSectorsFromCD(letter, 16, 1, sector.data(), 1)) return std::string(sector.data() + 1, 5);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return {};
    }

    ScopedMachineRoot root_;
    std::optional<PortHostProcess> host_;
    TempDir dir_{"road"};
    fs::path iso_, container_;
};

TEST_F(Road, InsertServeAndEjectWithBroadcasts) {
    Listener listener(2);
    ASSERT_TRUE(listener.connected());
    std::string errors;
    ASSERT_EQ(qpxcmd("\"" + container_.string() + "\" h:", &errors), 0) << errors;
    EXPECT_EQ(listener.heard(), "WM_QPXIMAGEADDED 1 0;WM_QPXINDEXCHANGED 0 0;");

    char record[600];
    ASSERT_EQ(QPXGetContainerIndex(1, record, sizeof record), 0);
    EXPECT_EQ(std::string(record), container_.string() + ",H,,,") << "registered, H became its default";
    EXPECT_EQ(volume_descriptor('H'), "CD001");

    // The whole data track read through the drive is the ISO.
    const auto copy = dir_ / "copy.iso";
    ASSERT_EQ(run_command("'" + program_path("qpxread").string() + "' H -o '" + copy.string() + "'"), 0);
    EXPECT_EQ(run_command("cmp '" + copy.string() + "' '" + iso_.string() + "'"), 0);

    Listener eject_listener(1);
    ASSERT_EQ(qpxcmd("H:", &errors), 0) << errors;
    EXPECT_EQ(eject_listener.heard(), "WM_QPXINDEXCHANGED 0 0;");
    char list[256];
    ASSERT_EQ(QPXGetContainerFiles(list, sizeof list), 0);
    EXPECT_STREQ(list, ";;");
}

TEST_F(Road, AForeignContainerIsRefusedWithBothMessages) {
    const auto foreign = dir_ / "foreign.qim";
    fs::copy_file(container_, foreign);
    {
        std::fstream f(foreign, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(140);
        f.write("QIM V2.0", 8);
    }
    std::string errors;
    EXPECT_NE(qpxcmd("'" + foreign.string() + "' G:", &errors), 0);
    EXPECT_NE(errors.find("Die Containerdatei kann nicht bearbeitet werden. (Die Signatur im Header ist: QIM V2.0)"),
              std::string::npos)
        << errors;
    EXPECT_NE(errors.find("Die virtuelle CD '" + foreign.string() + "' konnte nicht geöffnet werden."),
              std::string::npos)
        << errors;
    EXPECT_EQ(QPXGetNumberOfContainers(), 0);
}

}  // namespace
}  // namespace qpx::testing
