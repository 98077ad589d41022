// One SCSI port of the host: an adapter of the driver core and the
// serialising thread that starts, holds, aborts and completes its requests,
// as the operating system's port driver does for a miniport.
//
// Connections hand requests in with submit() and wait on the request's
// waker. The thread sleeps until something arrives: a request, a finished
// read (the core's completion signal), a finished work item, the player's
// shutdown, or the time-out of a running request. There is no polling timer.
//
// Per unit one request runs at a time; others wait in the unit's queue. A
// read refused as busy because every buffer set is taken waits until
// another read finishes. After each update request the thread runs the
// drive's readiness check itself and once more when the opening work item
// has finished, so an inserted container is open and served without any
// client sending TEST UNIT READY; the medium change this reports is handed
// to every connection that has the drive open (AttentionTracker).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "attention_tracker.h"
#include "player_ring.h"
#include "port_job.h"
#include "qpx/driver/adapter.h"
#include "ring_player_channel.h"
#include "worker_pool.h"

namespace qpx::host {

class PortDispatcher final : private driver::WorkExecutor,
                             private driver::CompletionSignal,
                             private driver::PlayerShutdownListener {
public:
    struct Services {
        WorkerPool& pool;
        driver::DriveListReader& drive_list;
        driver::ContainerOpener& opener;
    };

    // `first_drive`: the number (across all ports) of this port's drive 0.
    PortDispatcher(int port, std::uint32_t first_drive, const driver::AdapterConfig& config, Services services);
    ~PortDispatcher() override;
    PortDispatcher(const PortDispatcher&) = delete;
    PortDispatcher& operator=(const PortDispatcher&) = delete;

    int port() const { return port_; }
    std::uint32_t first_drive() const { return first_drive_; }
    std::uint32_t drive_count() const { return adapter_->drive_count(); }
    std::uint32_t bus_count() const { return adapter_->bus_count(); }
    std::uint32_t buffer_set_count() const { return adapter_->buffer_set_count(); }
    PlayerRing& ring() { return ring_; }

    void start();
    // Ends the thread. Requests not started (and held ones) are answered
    // "shutting down"; requests later handed in are answered so at once.
    void stop();
    // After the worker pool has run every work item: takes back what the
    // core still holds. Call after stop().
    void release_core();

    // From connection threads.
    void attach(ConnectionId connection);
    void detach(ConnectionId connection);
    void submit(std::shared_ptr<PortJob> job);
    // Runs the readiness check of every drive (at start: containers already
    // in the drive list are opened without waiting for a client).
    void check_all_drives();

private:
    struct Event {
        enum class Kind { submit, attach, detach, check_all } kind;
        std::shared_ptr<PortJob> job;
        ConnectionId connection = 0;
    };
    struct UnitQueue {
        std::shared_ptr<PortJob> active;  // started and pending in the core
        std::deque<std::shared_ptr<PortJob>> waiting;
    };
    enum class Readiness { when_idle, opening, opening_updated_again };
    enum class Started { answered, pending, parked };

    // Services the core calls.
    void queue(std::function<void()> item) override;
    void read_finished() override;
    void player_shut_down() override;

    void post(Event event);
    void run();
    void handle(Event& event);
    std::optional<std::chrono::steady_clock::time_point> next_deadline() const;

    // SCSI requests.
    std::optional<std::uint32_t> unit_of_request(const driver::ScsiAddress& address) const;
    void start_or_queue(const std::shared_ptr<PortJob>& job);
    Started start(std::uint32_t unit, const std::shared_ptr<PortJob>& job);
    void pump(std::uint32_t unit);
    driver::SrbStatus execute(std::uint32_t unit, driver::ScsiRequest& request);
    void note_answer(std::uint32_t unit, const driver::ScsiRequest& request, ConnectionId connection);
    void complete_reads();
    void unit_became_idle(std::uint32_t unit);
    void abort_overdue();

    // Control requests.
    void control(const std::shared_ptr<PortJob>& job);
    void update_drive(const std::shared_ptr<PortJob>& job);
    void map_player_ring(const std::shared_ptr<PortJob>& job);
    void release_held();

    // Readiness checks of the host.
    void request_readiness_check(std::uint32_t unit);
    void run_readiness_check(std::uint32_t unit);
    void work_done(std::uint32_t unit);

    void drop_requests_of(ConnectionId connection);
    void answer_open_requests_shutting_down();

    const int port_;
    const std::uint32_t first_drive_;
    Services services_;
    PlayerRing ring_;
    RingPlayerChannel channel_;
    std::unique_ptr<driver::Adapter> adapter_;

    // Shared with connection and worker threads, under mutex_.
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Event> inbox_;
    std::vector<std::uint32_t> finished_work_;
    bool reads_finished_ = false;
    bool stopping_ = false;
    std::thread thread_;

    // The serialising context's own state.
    AttentionTracker attention_;
    std::uint32_t current_unit_ = 0;
    bool queued_for_current_ = false;
    std::unordered_map<std::uint32_t, UnitQueue> units_;
    std::unordered_set<std::uint32_t> timed_units_;  // units whose running request has a time-out
    std::vector<std::shared_ptr<PortJob>> held_;
    std::unordered_map<std::uint32_t, Readiness> readiness_;
    std::vector<std::uint32_t> parked_units_;  // waiting for a buffer set
    std::size_t reads_running_ = 0;
};

}  // namespace qpx::host
