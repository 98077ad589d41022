// The serialising context of one port, in this process, with an opener that
// holds each container opening until the test lets it go: an update that
// arrives while the drive is still opening its previous container must not
// be lost (the opening read the drive list before it changed).
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "devices/byte_fields.h"
#include "disc_support.h"
#include "port_dispatcher.h"
#include "qpx/driver/file_container_opener.h"
#include "support/temp_dir.h"

namespace qpx::host {
namespace {

struct ListedDrives final : driver::DriveListReader {
    driver::DriveListStatus read_container_files(std::string& text) override {
        std::lock_guard lock(mutex);
        text = list;
        return driver::DriveListStatus::ok;
    }
    void set(std::string text) {
        std::lock_guard lock(mutex);
        list = std::move(text);
    }
    std::mutex mutex;
    std::string list;
};

// Records every opening and holds it until released.
struct GatedOpener final : driver::ContainerOpener {
    std::error_code open(const std::string& path, std::shared_ptr<const container::Container>& out) override {
        {
            std::unique_lock lock(mutex);
            opened.push_back(path);
            changed.notify_all();
            changed.wait(lock, [this] { return released; });
        }
        return real.open(path, out);
    }
    bool wait_for_openings(std::size_t n) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20), [&] { return opened.size() >= n; });
    }
    void release() {
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    }
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> opened;
    bool released = false;
    driver::FileContainerOpener real;
};

std::shared_ptr<PortJob> update_drive_0() {
    std::vector<std::uint8_t> buffer(32, 0);
    devices::store_le32(buffer, 16, driver::control_code::update_drive);
    devices::store_le32(buffer, 24, 4);
    buffer[28] = 1;  // bus 1, target 0
    auto job = make_control_job(7, devices::protocol::MiniportRequest{28, buffer});
    job->waker = std::make_shared<Waker>();
    return job;
}

bool finishes(const PortJob& job) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!job.done() && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return job.done();
}

TEST(PortDispatcherUpdates, AnUpdateDuringAnOpeningOpensAgainAfterIt) {
    testing::ScopedMachineRoot root;
    const std::string first = testing::large_plain_disc().container.string();
    const std::string second = testing::small_compressed_disc().container.string();
    WorkerPool pool(2);
    ListedDrives list;
    GatedOpener opener;
    PortDispatcher port(0, 0, driver::AdapterConfig{1, 1}, {pool, list, opener});
    port.start();

    list.set(first + ";");
    auto one = update_drive_0();
    port.submit(one);
    ASSERT_TRUE(finishes(*one));
    ASSERT_TRUE(opener.wait_for_openings(1)) << "the host opens the drive after the update by itself";

    // The drive list changes while the first opening is held.
    list.set(second + ";");
    auto two = update_drive_0();
    port.submit(two);
    ASSERT_TRUE(finishes(*two));
    EXPECT_EQ(two->status, driver::SrbStatus::success);
    opener.release();

    EXPECT_TRUE(opener.wait_for_openings(2)) << "the second update is not swallowed by the first opening";
    {
        std::lock_guard lock(opener.mutex);
        EXPECT_EQ(opener.opened, (std::vector<std::string>{first, second}));
    }
    port.stop();
    pool.drain_and_stop();
    port.release_core();
}

}  // namespace
}  // namespace qpx::host
