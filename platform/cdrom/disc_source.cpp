#include "cdrom/disc_source.h"

#include <thread>

namespace qpx::cdrom {

std::size_t sector_size(SectorForm form) { return form == SectorForm::UserData ? kUserDataSize : kRawSectorSize; }

const char* to_string(ReadStatus status) {
    switch (status) {
    case ReadStatus::Ok: return "ok";
    case ReadStatus::NotReady: return "not ready";
    case ReadStatus::MediumChanged: return "medium changed";
    case ReadStatus::OutOfRange: return "out of range";
    case ReadStatus::WrongTrackType: return "wrong track type";
    case ReadStatus::ReadError: return "read error";
    case ReadStatus::Unsupported: return "unsupported";
    }
    return "unknown";
}

void SleepingWaiter::wait(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

}  // namespace qpx::cdrom
