#include "cdrom/drive_opener.h"

#include <chrono>

#include "cdrom/cdio_device_channel.h"
#include "cdrom/cdio_image_source.h"
#include "cdrom/drive_kind.h"
#include "cdrom/fault_plan.h"
#include "cdrom/faulty_disc_source.h"
#include "cdrom/mmc_disc_source.h"
#include "cdrom/pass_through_channel.h"
#include "drives/drive_letters.h"

namespace qpx::cdrom {
namespace {

using namespace std::chrono_literals;

// A drive another program holds may refuse to open for a moment.
constexpr int kDeviceOpenTries = 5;
constexpr auto kDeviceOpenPause = 1s;

std::unique_ptr<DiscSource> open_physical(const std::string& device, Waiter& waiter, std::string& error) {
    for (int attempt = 1;; ++attempt) {
        if (auto channel = CdioDeviceChannel::open(device, error)) return std::make_unique<MmcDiscSource>(std::move(channel));
        if (attempt == kDeviceOpenTries) return nullptr;
        waiter.wait(kDeviceOpenPause);
    }
}

// A plain disc: a physical drive or an image.
std::unique_ptr<DiscSource> open_plain(const std::string& device, Waiter& waiter, std::string& error) {
    switch (kind_of_device(device)) {
    case DriveKind::Physical: return open_physical(device, waiter, error);
    case DriveKind::Image: return CdioImageSource::open(device, error);
    default: error = device + ": not a drive or a disc image"; return nullptr;
    }
}

bool open_fault_plan(const std::string& device, OpenedDrive& out, std::string& error) {
    FaultPlan plan;
    if (!load_fault_plan(device, plan, error)) return false;
    auto journal = std::make_shared<FaultJournal>(plan.journal);
    auto waiter = std::make_unique<JournalWaiter>(journal);
    auto disc = open_plain(plan.disc.string(), *waiter, error);
    if (!disc) return false;
    std::unique_ptr<DiscSource> swapped_in;
    Faults faults{plan.unreadable, plan.flaky, plan.not_ready_accesses, std::nullopt};
    if (plan.swap) {
        swapped_in = open_plain(plan.swap->disc.string(), *waiter, error);
        if (!swapped_in) return false;
        faults.swap_after_accesses = plan.swap->after_accesses;
    }
    out.disc = std::make_unique<FaultyDiscSource>(std::move(disc), std::move(faults), std::move(swapped_in), journal);
    out.waiter = std::move(waiter);
    return true;
}

// An emulated drive: the port host answers the same commands as a drive.
bool open_emulated(char letter, OpenedDrive& out, std::string& error) {
    auto waiter = std::make_unique<SleepingWaiter>();
    devices::OpenRetry retry;
    retry.attempts = kDeviceOpenTries;
    retry.interval = std::chrono::duration_cast<std::chrono::milliseconds>(kDeviceOpenPause);
    retry.wait = [w = waiter.get()](std::chrono::milliseconds d) { w->wait(d); };
    auto channel = PassThroughChannel::open(letter, retry, error);
    if (!channel) return false;
    out.disc = std::make_unique<MmcDiscSource>(std::move(channel));
    out.waiter = std::move(waiter);
    return true;
}

}  // namespace

bool open_device(const std::string& device, OpenedDrive& out, std::string& error) {
    out = OpenedDrive{};
    switch (kind_of_device(device)) {
    case DriveKind::Emulated:
        error = "an emulated drive is opened by its letter";
        return false;
    case DriveKind::FaultPlan: return open_fault_plan(device, out, error);
    case DriveKind::Physical:
    case DriveKind::Image: {
        auto waiter = std::make_unique<SleepingWaiter>();
        out.disc = open_plain(device, *waiter, error);
        if (!out.disc) return false;
        out.waiter = std::move(waiter);
        return true;
    }
    case DriveKind::Unknown: break;
    }
    error = "'" + device + "' is not a drive or a disc image this system can read";
    return false;
}

bool open_drive(char letter, OpenedDrive& out, std::string& error) {
    out = OpenedDrive{};
    const char normal = drives::normalise_letter(letter);
    if (!normal) {
        error = "not a drive letter";
        return false;
    }
    auto entry = drives::entry(normal);
    if (!entry) {
        error = std::string(1, normal) + ": no such drive";
        return false;
    }
    if (entry->type != drives::DriveType::CdRom) {
        error = std::string(1, normal) + ": not a CD-ROM drive";
        return false;
    }
    if (kind_of_device(entry->device) == DriveKind::Emulated) return open_emulated(normal, out, error);
    return open_device(entry->device, out, error);
}

}  // namespace qpx::cdrom
