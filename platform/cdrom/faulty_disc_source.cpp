#include "cdrom/faulty_disc_source.h"

namespace qpx::cdrom {
namespace {

const char* form_name(SectorForm form) {
    switch (form) {
    case SectorForm::UserData: return "user-data";
    case SectorForm::Audio: return "audio";
    case SectorForm::RawData: return "raw-data";
    }
    return "?";
}

}  // namespace

FaultyDiscSource::FaultyDiscSource(std::unique_ptr<DiscSource> disc, Faults faults,
                                   std::unique_ptr<DiscSource> swapped_in, std::shared_ptr<FaultJournal> journal)
    : disc_(std::move(disc)),
      swapped_in_(std::move(swapped_in)),
      current_(disc_.get()),
      faults_(std::move(faults)),
      journal_(journal ? std::move(journal) : std::make_shared<FaultJournal>()) {
    for (const FlakySector& f : faults_.flaky) failures_left_[f.sector] += f.failures;
}

std::optional<ReadStatus> FaultyDiscSource::access_fault() {
    ++accesses_;
    if (accesses_ <= faults_.not_ready_accesses) return ReadStatus::NotReady;
    if (swapped_in_ && !swapped_ && faults_.swap_after_accesses && accesses_ > *faults_.swap_after_accesses) {
        swapped_ = true;
        current_ = swapped_in_.get();
        return ReadStatus::MediumChanged;
    }
    return std::nullopt;
}

bool FaultyDiscSource::sector_fault(std::uint32_t lba, std::uint32_t count) {
    for (const SectorRange& range : faults_.unreadable)
        if (range.overlaps(lba, count)) return true;
    bool failed = false;
    for (auto& [sector, left] : failures_left_) {
        if (left > 0 && SectorRange{sector, sector}.overlaps(lba, count)) {
            --left;
            failed = true;
        }
    }
    return failed;
}

ReadStatus FaultyDiscSource::read(std::uint32_t lba, std::uint32_t count, SectorForm form,
                                  std::span<std::uint8_t> out) {
    ReadStatus status;
    if (auto fault = access_fault())
        status = *fault;
    else if (sector_fault(lba, count))
        status = ReadStatus::ReadError;
    else
        status = current_->read(lba, count, form, out);
    journal_->note("read " + std::to_string(lba) + " " + std::to_string(count) + " " + form_name(form) + " " +
                   to_string(status));
    return status;
}

ReadStatus FaultyDiscSource::read_toc(Toc& out) {
    ReadStatus status;
    if (auto fault = access_fault())
        status = *fault;
    else
        status = current_->read_toc(out);
    journal_->note(std::string("toc ") + to_string(status));
    return status;
}

}  // namespace qpx::cdrom
