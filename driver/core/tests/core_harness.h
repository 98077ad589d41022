// Drives the core as a host would, with fakes for everything but the
// containers: work items run at once or when the test says so, the drive list
// is a string, player commands are recorded.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "qpx/driver/adapter.h"
#include "qpx/driver/adapter_layout.h"
#include "qpx/driver/file_container_opener.h"
#include "qpx/driver/services.h"

namespace qpx::driver::test {

// Runs work items when they are queued, or, with hold() in force, keeps
// them until the test runs them.
class ControllableExecutor final : public WorkExecutor {
public:
    void queue(std::function<void()> item) override;
    void hold() { holding_ = true; }
    void release_all();  // stops holding and runs what was held
    bool run_next();
    std::size_t held() const { return items_.size(); }

private:
    bool holding_ = false;
    std::deque<std::function<void()>> items_;
};

class FakeDriveList final : public DriveListReader {
public:
    DriveListStatus read_container_files(std::string& out) override {
        ++reads;
        out = status == DriveListStatus::ok ? text : std::string();
        return status;
    }
    DriveListStatus status = DriveListStatus::ok;
    std::string text;
    int reads = 0;
};

class RecordingPlayer final : public PlayerChannel {
public:
    void send(const PlayerCommand& command) override { commands.push_back(command); }
    std::vector<PlayerCommand> commands;
};

class CountingCompletion final : public CompletionSignal {
public:
    void read_finished() override { ++signals; }
    std::atomic<int> signals{0};
};

class CountingShutdown final : public PlayerShutdownListener {
public:
    void player_shut_down() override { ++calls; }
    int calls = 0;
};

class RecordingEject final : public EjectRequester {
public:
    void request_eject(std::uint32_t drive) override { drives.push_back(drive); }
    std::vector<std::uint32_t> drives;
};

// What a unit answered.
struct Answer {
    SrbStatus status = SrbStatus::pending;
    std::uint8_t scsi_status = 0;
    std::uint8_t key = 0;  // sense key and ASC when the status carries sense
    std::uint8_t asc = 0;
    std::vector<std::uint8_t> data;  // the transferred bytes
    std::size_t transferred = 0;

    bool good() const { return status == SrbStatus::success && scsi_status == kScsiGood; }
    bool check(std::uint8_t k, std::uint8_t a) const {
        return status == SrbStatus::error_with_sense && scsi_status == kScsiCheckCondition && key == k && asc == a;
    }
};

using Cdb = std::vector<std::uint8_t>;

// Command blocks.
Cdb cdb6(std::uint8_t op, std::uint8_t byte4 = 0);
Cdb read10_cdb(std::uint32_t lba, std::uint16_t blocks);
Cdb read_toc_cdb(bool msf, std::uint8_t format, std::uint8_t start_track, std::uint16_t allocation);

// A request object that keeps its buffers.
struct PendingRequest {
    ScsiRequest request;
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> sense = std::vector<std::uint8_t>(18, 0);
};

class CoreHarness {
public:
    explicit CoreHarness(std::uint32_t drives = 1, std::uint32_t buffer_sets = kDefaultBufferSets);

    // Sends a command and, when it is served by a work item that ran, the
    // completion too. A request left pending answers status pending.
    Answer send(ScsiAddress address, const Cdb& cdb, std::size_t data_length = 0,
                const std::vector<std::uint8_t>& data_out = {});
    Answer send_drive(std::uint32_t drive, const Cdb& cdb, std::size_t data_length = 0,
                      const std::vector<std::uint8_t>& data_out = {});
    Answer test_unit_ready(std::uint32_t drive) { return send_drive(drive, cdb6(0x00)); }
    Answer read10(std::uint32_t drive, std::uint32_t lba, std::size_t bytes);

    // Starts a command whose answer may come later (the request is kept by the harness).
    PendingRequest& start(std::uint32_t drive, const Cdb& cdb, std::size_t data_length);
    // Completes finished reads; returns the answers of `pending` once completed.
    Answer collect(PendingRequest& pending);

    // Sets the drive list to `entries` (each followed by ";") and updates `drive`.
    void set_drive_list(const std::vector<std::string>& entries);
    void update(std::uint32_t drive);
    // Puts `container` into `drive` and checks the drive comes ready through
    // the usual sequence (one UNIT ATTENTION, then GOOD).
    void insert(std::uint32_t drive, const std::filesystem::path& container);

    ControllableExecutor work;
    FakeDriveList drive_list;
    FileContainerOpener opener;
    RecordingPlayer player;
    CountingCompletion completion;
    CountingShutdown shutdown;
    RecordingEject eject;
    Adapter adapter;

private:
    std::deque<PendingRequest> started_;
    std::vector<std::string> entries_;
};

Answer answer_of(const ScsiRequest& request);

}  // namespace qpx::driver::test
