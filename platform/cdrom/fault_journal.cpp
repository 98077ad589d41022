#include "cdrom/fault_journal.h"

#include <fstream>

namespace qpx::cdrom {

void FaultJournal::note(std::string line) {
    if (!file_.empty()) {
        std::ofstream out(file_, std::ios::app);
        out << line << '\n';
    }
    lines_.push_back(std::move(line));
}

void JournalWaiter::wait(std::chrono::milliseconds duration) {
    waited_ += duration;
    journal_->note("wait " + std::to_string(duration.count()));
}

}  // namespace qpx::cdrom
