// One emulated drive as the view reads it: one connection to the port host,
// the disc's layout for as long as the medium stays, and sector reads that
// fail once the medium has changed under them.
//
// Every disc the drive reports gets a new generation. A file opened on one
// generation reads only that disc: after an eject its reads fail with
// ENOMEDIUM, after a change of disc with EIO. Calls are serialised; the port
// host serves one command of a drive at a time anyway.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "cdrom/disc_source.h"
#include "cdrom/scsi_channel.h"
#include "disc_layout.h"

namespace qpx::fuse_view {

struct DriveHooks {
    // Opens a connection to the drive; null (with a reason) when the port
    // host does not serve it.
    std::function<std::unique_ptr<cdrom::ScsiChannel>(std::string& error)> connect;
    // Whether the drive list names a container for the drive. A drive that
    // has one but answers "no medium" is still opening it and is waited for.
    std::function<bool()> expects_medium;
    // Reports a failure worth a line in the log.
    std::function<void(const std::string&)> report;
    std::chrono::milliseconds opening_wait{5000};
};

struct MediumView {
    std::shared_ptr<const DiscLayout> layout;
    std::uint64_t generation = 0;
    std::chrono::system_clock::time_point seen;  // when the view first saw this disc
};

class DriveSession {
public:
    DriveSession(char letter, DriveHooks hooks) : letter_(letter), hooks_(std::move(hooks)) {}

    char letter() const { return letter_; }

    // The disc in the drive now: 0, -ENOMEDIUM for an empty drive, -EIO
    // when the drive or the port host fails.
    int current(MediumView& out);

    // Reads `count` sectors of `form` of the disc of `generation` into `out`.
    // 0 or a negative errno as current() gives them.
    int read(std::uint64_t generation, std::uint32_t lba, std::uint32_t count, cdrom::SectorForm form,
             std::span<std::uint8_t> out);

private:
    enum class Check { ready, changed, no_medium, lost, failed };
    int current_locked(MediumView& out);
    Check check_once();
    int load_layout();
    void measure_data_track(DiscLayout& layout);
    // The disc is gone or replaced: forget it.
    void forget_medium();
    void drop_connection(const std::string& why);
    // Tells an outcome apart: a lost connection, a medium change, the rest.
    Check classify(const cdrom::ScsiOutcome& outcome, const char* what);
    // The error for a file whose disc is no longer the one in the drive.
    int error_for_stale_file();

    char letter_;
    DriveHooks hooks_;
    std::mutex mutex_;
    std::unique_ptr<cdrom::ScsiChannel> channel_;
    MediumView medium_;
    std::uint64_t next_generation_ = 1;
};

}  // namespace qpx::fuse_view
