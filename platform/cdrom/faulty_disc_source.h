// A disc with faults laid over another source: sectors that never read,
// sectors that fail a number of times first, a drive that is not ready for
// its first accesses, and a disc changed after a number of accesses (the
// first access after the change reports it, as drives do).
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "cdrom/disc_source.h"
#include "cdrom/fault_journal.h"
#include "cdrom/fault_plan.h"

namespace qpx::cdrom {

struct Faults {
    std::vector<SectorRange> unreadable;
    std::vector<FlakySector> flaky;
    int not_ready_accesses = 0;
    std::optional<int> swap_after_accesses;
};

class FaultyDiscSource final : public DiscSource {
public:
    // `swapped_in` is served after the swap; the journal may be shared with
    // a JournalWaiter.
    FaultyDiscSource(std::unique_ptr<DiscSource> disc, Faults faults, std::unique_ptr<DiscSource> swapped_in = nullptr,
                     std::shared_ptr<FaultJournal> journal = std::make_shared<FaultJournal>());

    ReadStatus read(std::uint32_t lba, std::uint32_t count, SectorForm form, std::span<std::uint8_t> out) override;
    ReadStatus read_toc(Toc& out) override;
    std::string name() const override { return current_->name(); }

    int accesses() const { return accesses_; }
    const FaultJournal& journal() const { return *journal_; }

private:
    // The fault of this access that comes before any sector: not ready, swap.
    std::optional<ReadStatus> access_fault();
    bool sector_fault(std::uint32_t lba, std::uint32_t count);

    std::unique_ptr<DiscSource> disc_;
    std::unique_ptr<DiscSource> swapped_in_;
    DiscSource* current_;
    Faults faults_;
    std::map<std::uint32_t, int> failures_left_;
    std::shared_ptr<FaultJournal> journal_;
    int accesses_ = 0;
    bool swapped_ = false;
};

}  // namespace qpx::cdrom
