// The core hosted as the port host will host it: one serialising thread
// that starts requests and completes them when woken, and a pool of worker
// threads for the work items.
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "container_fixtures.h"
#include "core_harness.h"
#include "support/temp_dir.h"

namespace qpx::driver::test {
namespace {

using container::ContainerType;
using container::kUserSectorSize;

class WorkerPool final : public WorkExecutor {
public:
    explicit WorkerPool(int threads) {
        for (int i = 0; i < threads; ++i)
            workers_.emplace_back([this] {
                for (;;) {
                    std::function<void()> item;
                    {
                        std::unique_lock lock(mutex_);
                        wake_.wait(lock, [this] { return stop_ || !items_.empty(); });
                        if (items_.empty()) return;
                        item = std::move(items_.front());
                        items_.pop_front();
                    }
                    item();
                }
            });
    }
    ~WorkerPool() override {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (auto& t : workers_) t.join();
    }
    void queue(std::function<void()> item) override {
        {
            std::lock_guard lock(mutex_);
            items_.push_back(std::move(item));
        }
        wake_.notify_one();
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> items_;
    bool stop_ = false;
    std::vector<std::thread> workers_;
};

// Wakes the serialising thread when a read has finished.
class WakeOnCompletion final : public CompletionSignal {
public:
    void read_finished() override {
        {
            std::lock_guard lock(mutex);
            woken = true;
        }
        wake.notify_one();
    }
    void wait() {
        std::unique_lock lock(mutex);
        wake.wait(lock, [this] { return woken; });
        woken = false;
    }
    std::mutex mutex;
    std::condition_variable wake;
    bool woken = false;
};

TEST(ThreadedHost, DrivesReadConcurrentlyThroughSharedBufferSets) {
    testing::TempDir dir("threads");
    const auto sectors = numbered_sectors(600);
    write_single_track(dir / "a.qim", ContainerType::normal_blocks, sectors);
    write_single_track(dir / "b.qim", ContainerType::maximal_blocks, sectors);

    constexpr std::uint32_t kDrives = 4;
    // The pool's threads are joined before the signal they raise goes.
    WakeOnCompletion completion;
    WorkerPool pool(2);
    FakeDriveList list;
    list.text = (dir / "a.qim").string() + ";" + (dir / "b.qim").string() + ";" + (dir / "a.qim").string() + ";" +
                (dir / "b.qim").string() + ";";
    FileContainerOpener opener;
    RecordingPlayer player;
    Adapter adapter(AdapterConfig{kDrives, 2}, AdapterServices{pool, list, opener, player, completion});

    struct Drive {
        PendingRequest request;
        std::uint32_t next = 16;
        bool in_flight = false;
        int reads = 0;
    };
    std::vector<Drive> drives(kDrives);
    // Sends a command on drive k; the request object is reused only once
    // the previous one is completed.
    auto send = [&](std::uint32_t k, const Cdb& cdb, std::size_t length) {
        PendingRequest& p = drives[k].request;
        p.data.assign(length, 0);
        p.request = ScsiRequest{};
        p.request.address = address_of_drive(k);
        std::copy(cdb.begin(), cdb.end(), p.request.cdb.begin());
        p.request.data = p.data;
        p.request.sense = p.sense;
        return adapter.execute_scsi(p.request);
    };

    // The drives come ready (the opening runs on the pool meanwhile).
    for (std::uint32_t k = 0; k < kDrives; ++k)
        while (send(k, cdb6(0x00), 0) != SrbStatus::success) std::this_thread::yield();

    constexpr int kReadsPerDrive = 60;
    int busy_answers = 0;
    int completed = 0;
    while (completed < kReadsPerDrive * static_cast<int>(kDrives)) {
        bool any_in_flight = false;
        for (std::uint32_t k = 0; k < kDrives; ++k) {
            Drive& d = drives[k];
            if (!d.in_flight && d.reads < kReadsPerDrive) {
                const std::uint32_t blocks = 1 + (d.next % 7);
                const SrbStatus s =
                    send(k, read10_cdb(d.next, static_cast<std::uint16_t>(blocks)), blocks * kUserSectorSize);
                if (s == SrbStatus::pending)
                    d.in_flight = true;
                else
                    ASSERT_EQ(s, SrbStatus::busy) << "drive " << k;
                busy_answers += s == SrbStatus::busy;
            }
            any_in_flight = any_in_flight || d.in_flight;
        }
        ASSERT_TRUE(any_in_flight) << "BUSY is only answered while another drive reads";
        completion.wait();
        adapter.complete_finished([&](ScsiRequest& r) {
            const std::uint32_t k = (r.address.bus - 1u) * 8 + r.address.target;
            Drive& d = drives[k];
            ASSERT_TRUE(d.in_flight);
            ASSERT_EQ(&r, &d.request.request);
            ASSERT_EQ(r.status, SrbStatus::success);
            const auto blocks = static_cast<std::uint32_t>(r.data.size() / kUserSectorSize);
            EXPECT_EQ(std::vector<std::uint8_t>(r.data.begin(), r.data.end()), sector_bytes(sectors, d.next, blocks));
            d.next = 16 + (d.next * 37 + 11) % 550;
            d.in_flight = false;
            ++d.reads;
            ++completed;
        });
    }
    RecordProperty("busy_answers", busy_answers);
}

}  // namespace
}  // namespace qpx::driver::test
