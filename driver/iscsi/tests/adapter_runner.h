// The core's Adapter behind the CommandRunner interface, hosted as the port
// host hosts it: calls into the adapter are serialised by a mutex, work items
// run on one worker thread, finished reads are completed from there.
#pragma once

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "qpx/driver/adapter.h"
#include "qpx/driver/file_container_opener.h"
#include "qpx/iscsi/command_runner.h"

namespace qpx::iscsi::test {

class AdapterRunner final : public CommandRunner,
                            driver::WorkExecutor,
                            driver::DriveListReader,
                            driver::PlayerChannel,
                            driver::CompletionSignal {
public:
    explicit AdapterRunner(std::uint32_t drives);
    ~AdapterRunner() override;

    // Puts `container` into `drive` and answers the drive's opening sequence
    // (NOT READY, UNIT ATTENTION) here, so initiators find it ready.
    void insert(std::uint32_t drive, const std::filesystem::path& container);

    // Lets an empty `drive` finish looking for a medium, so it answers NOT
    // READY, medium not present, from then on.
    void settle_empty(std::uint32_t drive);

    void run(std::uint32_t drive, driver::ScsiRequest& request, std::function<void()> completion) override;
    void abort(std::uint32_t drive) override;
    void reset() override;

    int aborts = 0;
    int resets = 0;

private:
    void queue(std::function<void()> item) override;
    driver::DriveListStatus read_container_files(std::string& text) override;
    void send(const driver::PlayerCommand&) override {}
    void read_finished() override;
    void wait_idle();

    std::mutex worker_mutex_;
    std::condition_variable worker_wake_;
    std::deque<std::function<void()>> items_;
    bool busy_ = false;
    bool stopping_ = false;

    std::mutex adapter_mutex_;
    std::vector<std::string> entries_;
    driver::FileContainerOpener opener_;
    driver::Adapter adapter_;
    std::map<driver::ScsiRequest*, std::function<void()>> pending_;
    std::thread worker_;
};

}  // namespace qpx::iscsi::test
