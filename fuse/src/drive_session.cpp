#include "drive_session.h"

#include <algorithm>
#include <cerrno>
#include <thread>
#include <vector>

#include "cdrom/mmc_disc_source.h"
#include "cdrom/sector_layout.h"
#include "drive_commands.h"

namespace qpx::fuse_view {
namespace {

using cdrom::ReadStatus;
using cdrom::SectorForm;
using Clock = std::chrono::steady_clock;

constexpr auto kOpeningPoll = std::chrono::milliseconds(10);
// Byte 15 of a raw data sector: its mode.
constexpr std::size_t kModeByte = 15;

std::string sense_text(const cdrom::ScsiOutcome& o) {
    char text[48];
    std::snprintf(text, sizeof text, "status %u, sense %X/%02X/%02X", o.scsi_status, o.sense_key, o.asc, o.ascq);
    return text;
}

}  // namespace

int DriveSession::current(MediumView& out) {
    std::lock_guard lock(mutex_);
    return current_locked(out);
}

DriveSession::Check DriveSession::classify(const cdrom::ScsiOutcome& outcome, const char* what) {
    if (outcome.good()) return Check::ready;
    if (!outcome.delivered) {
        drop_connection(std::string(what) + ": the port host did not answer");
        return Check::lost;
    }
    switch (cdrom::read_status_of(outcome)) {
        case ReadStatus::MediumChanged: return Check::changed;
        case ReadStatus::NotReady: return Check::no_medium;
        default: return Check::failed;
    }
}

int DriveSession::current_locked(MediumView& out) {
    const auto deadline = Clock::now() + hooks_.opening_wait;
    bool reconnected = false;
    for (;;) {
        if (!channel_) {
            std::string error;
            channel_ = hooks_.connect ? hooks_.connect(error) : nullptr;
            if (!channel_) {
                forget_medium();
                if (hooks_.report) hooks_.report(error);
                return -EIO;
            }
        }
        const cdrom::ScsiOutcome outcome = test_unit_ready(*channel_);
        switch (classify(outcome, "TEST UNIT READY")) {
            case Check::ready:
                if (!medium_.layout) {
                    const int loaded = load_layout();
                    if (loaded < 0) return loaded;
                    if (loaded > 0) break;  // the disc changed meanwhile: check again
                }
                out = medium_;
                return 0;
            case Check::changed: forget_medium(); break;
            case Check::lost:
                // A port host that was restarted answers on a new connection.
                forget_medium();
                if (reconnected) return -EIO;
                reconnected = true;
                break;
            case Check::no_medium:
                forget_medium();
                if (!hooks_.expects_medium || !hooks_.expects_medium() || Clock::now() >= deadline)
                    return -ENOMEDIUM;
                std::this_thread::sleep_for(kOpeningPoll);
                break;
            case Check::failed:
                forget_medium();
                if (hooks_.report) hooks_.report(std::string(1, letter_) + ": the drive is not ready (" + sense_text(outcome) + ")");
                return -EIO;
        }
        if (Clock::now() >= deadline + hooks_.opening_wait) return -EIO;  // a drive that keeps changing
    }
}

// 0 when the layout is loaded, 1 when the disc changed meanwhile, or a
// negative errno.
int DriveSession::load_layout() {
    cdrom::Toc toc;
    bool parsed = false;
    const cdrom::ScsiOutcome outcome = read_toc(*channel_, toc, parsed);
    switch (classify(outcome, "READ TOC")) {
        case Check::ready: break;
        case Check::changed:
        case Check::no_medium: return 1;
        case Check::lost: return -EIO;
        case Check::failed:
            if (hooks_.report) hooks_.report(std::string(1, letter_) + ": READ TOC failed (" + sense_text(outcome) + ")");
            return -EIO;
    }
    auto layout = parsed ? layout_of(toc) : std::nullopt;
    if (!layout) {
        if (hooks_.report) hooks_.report(std::string(1, letter_) + ": the drive's table of contents names no usable track");
        return -EIO;
    }
    measure_data_track(*layout);
    if (!channel_) return -EIO;
    medium_.layout = std::make_shared<const DiscLayout>(std::move(*layout));
    medium_.generation = next_generation_++;
    medium_.seen = std::chrono::system_clock::now();
    return 0;
}

// A data track may hold fewer sectors than the gap to the next track: find
// the last one the drive reads (one read when the whole track reads), and
// the mode of its raw sectors (mode 1 when the drive cannot read them raw).
void DriveSession::measure_data_track(DiscLayout& layout) {
    auto track = std::find_if(layout.tracks.begin(), layout.tracks.end(), [](const auto& t) { return !t.audio; });
    if (track == layout.tracks.end()) return;
    std::vector<std::uint8_t> sector(cdrom::kRawSectorSize);
    auto reads = [&](std::uint32_t lba) {
        return channel_ && read_sectors(*channel_, lba, 1, SectorForm::UserData, sector).good();
    };
    if (!reads(track->start + track->sectors - 1)) {
        std::uint32_t good = 0, bad = track->sectors;  // sector counts: `good` read, `bad` does not
        while (channel_ && bad - good > 1) {
            const std::uint32_t mid = good + (bad - good) / 2;
            (reads(track->start + mid - 1) ? good : bad) = mid;
        }
        track->readable = good;
    }
    if (channel_ && read_sectors(*channel_, track->start, 1, SectorForm::RawData, sector).good() &&
        cdrom::has_sync_pattern(sector) && (sector[kModeByte] == 1 || sector[kModeByte] == 2))
        track->data_mode = sector[kModeByte];
}

int DriveSession::read(std::uint64_t generation, std::uint32_t lba, std::uint32_t count, SectorForm form,
                       std::span<std::uint8_t> out) {
    std::lock_guard lock(mutex_);
    if (!medium_.layout || generation != medium_.generation) return error_for_stale_file();
    const std::size_t size = cdrom::sector_size(form);
    const std::uint32_t per_command = sectors_per_command(form);
    for (std::uint32_t done = 0; done < count;) {
        const std::uint32_t n = std::min(per_command, count - done);
        const cdrom::ScsiOutcome outcome =
            read_sectors(*channel_, lba + done, n, form, out.subspan(std::size_t{done} * size));
        switch (classify(outcome, "read")) {
            case Check::ready: break;
            case Check::changed:
            case Check::no_medium: forget_medium(); return error_for_stale_file();
            case Check::lost: forget_medium(); return -EIO;
            case Check::failed:
                if (hooks_.report)
                    hooks_.report(std::string(1, letter_) + ": reading sectors " + std::to_string(lba + done) + ".." +
                                  std::to_string(lba + done + n - 1) + " failed (" + sense_text(outcome) + ")");
                return -EIO;
        }
        done += n;
    }
    return 0;
}

int DriveSession::error_for_stale_file() {
    MediumView now;
    return current_locked(now) == -ENOMEDIUM ? -ENOMEDIUM : -EIO;
}

void DriveSession::forget_medium() { medium_ = MediumView{}; }

void DriveSession::drop_connection(const std::string& why) {
    channel_.reset();
    if (hooks_.report) hooks_.report(std::string(1, letter_) + ": " + why);
}

}  // namespace qpx::fuse_view
