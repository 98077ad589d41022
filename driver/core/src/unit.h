// State of one unit: a controller unit (0..7) or a drive (8 and up).
//
// Flags are shared between the serialised context and the unit's work items
// and are atomics. The open container, the file name and the pending sense
// are written by the opening work item and read by the serialised context,
// under the unit's lock. The current request and the buffer set are used by
// one side at a time: the busy and opening flags keep a second work item from
// being queued for the unit.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "qpx/container/block_cache.h"
#include "qpx/container/container.h"
#include "qpx/driver/scsi_request.h"

namespace qpx::driver {

namespace unit_flag {
inline constexpr std::uint32_t busy = 0x01;     // a read was accepted; cleared at its completion
inline constexpr std::uint32_t abort = 0x02;    // abort or bus reset while busy
inline constexpr std::uint32_t update = 0x04;   // reopen from the drive list at the next check
inline constexpr std::uint32_t failed = 0x08;   // opening failed
inline constexpr std::uint32_t opening = 0x10;  // the opening work item is queued or running
inline constexpr std::uint32_t done = 0x20;     // the read work item has finished
inline constexpr std::uint32_t initial = 0x40;  // never opened since start
}  // namespace unit_flag

// SCSI audio status codes of a drive.
namespace audio_status {
inline constexpr std::uint8_t none = 0x00;
inline constexpr std::uint8_t playing = 0x11;
inline constexpr std::uint8_t paused = 0x12;
inline constexpr std::uint8_t completed = 0x13;
inline constexpr std::uint8_t no_status = 0x15;
}  // namespace audio_status

struct PendingSense {
    std::uint8_t key = 0;
    std::uint8_t asc = 0;
};

class Unit {
public:
    explicit Unit(std::uint32_t number) : number_(number) {}
    Unit(const Unit&) = delete;
    Unit& operator=(const Unit&) = delete;

    std::uint32_t number() const { return number_; }

    bool has(std::uint32_t flag) const { return (flags_.load() & flag) != 0; }
    void set(std::uint32_t flag) { flags_.fetch_or(flag); }
    void clear(std::uint32_t flag) { flags_.fetch_and(~flag); }
    std::uint32_t flags() const { return flags_.load(); }

    std::shared_ptr<const container::Container> medium() const {
        std::lock_guard lock(mutex_);
        return medium_;
    }
    void set_medium(std::shared_ptr<const container::Container> medium) {
        std::lock_guard lock(mutex_);
        medium_ = std::move(medium);
    }
    void close_medium() { set_medium(nullptr); }

    std::string file_name() const {
        std::lock_guard lock(mutex_);
        return file_name_;
    }
    void set_file_name(std::string name) {
        std::lock_guard lock(mutex_);
        file_name_ = std::move(name);
    }

    void set_pending_sense(std::uint8_t key, std::uint8_t asc) {
        std::lock_guard lock(mutex_);
        pending_ = PendingSense{key, asc};
    }
    std::optional<PendingSense> pending_sense() const {
        std::lock_guard lock(mutex_);
        return pending_;
    }
    std::optional<PendingSense> take_pending_sense() {
        std::lock_guard lock(mutex_);
        return std::exchange(pending_, std::nullopt);
    }

    std::uint8_t audio_status() const { return audio_status_.load(); }
    void set_audio_status(std::uint8_t status) { audio_status_.store(status); }

    // The request being served by the read work item.
    ScsiRequest* current_request = nullptr;
    // Index of the buffer set last assigned to the unit (-1 none); the pool
    // decides under its lock whether the unit still owns it.
    int buffer_set = -1;
    // Cache for reads that need no buffer set (plain containers).
    container::BlockCache plain_cache;

private:
    const std::uint32_t number_;
    std::atomic<std::uint32_t> flags_{unit_flag::update | unit_flag::initial};
    std::atomic<std::uint8_t> audio_status_{audio_status::none};

    mutable std::mutex mutex_;
    std::shared_ptr<const container::Container> medium_;
    std::string file_name_;
    std::optional<PendingSense> pending_;
};

}  // namespace qpx::driver
