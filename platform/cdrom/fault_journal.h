// The record of what happened on a disc with faults: one line per access
// ("read 16 1 user-data ok", "toc not ready") and per wait ("wait 1000").
// Kept in memory and, when a file is named, appended to it as it happens.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cdrom/disc_source.h"

namespace qpx::cdrom {

class FaultJournal {
public:
    explicit FaultJournal(std::filesystem::path file = {}) : file_(std::move(file)) {}
    void note(std::string line);
    const std::vector<std::string>& lines() const { return lines_; }

private:
    std::filesystem::path file_;
    std::vector<std::string> lines_;
};

// A waiter that does not sleep: it notes each wait in the journal.
class JournalWaiter final : public Waiter {
public:
    explicit JournalWaiter(std::shared_ptr<FaultJournal> journal) : journal_(std::move(journal)) {}
    void wait(std::chrono::milliseconds duration) override;
    std::chrono::milliseconds waited() const { return waited_; }

private:
    std::shared_ptr<FaultJournal> journal_;
    std::chrono::milliseconds waited_{0};
};

}  // namespace qpx::cdrom
