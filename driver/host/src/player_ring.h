// The player ring of one adapter: 16,384 bytes of shared memory (a memfd)
// that the player maps with the map player ring control code and polls for
// command records. The adapter writes records at its write offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>

#include "devices/unique_fd.h"

namespace qpx::host {

class PlayerRing {
public:
    static constexpr std::size_t kSize = 16384;

    // Creates and maps the ring; throws std::system_error when it cannot.
    PlayerRing();
    ~PlayerRing();
    PlayerRing(const PlayerRing&) = delete;
    PlayerRing& operator=(const PlayerRing&) = delete;

    // The map request: fills the ring with 0xFE, writes "qpxmport" and a NUL
    // at its start, sets the write offset to 16, and returns a new
    // descriptor of the ring for the requesting client (invalid when the
    // descriptor could not be duplicated; the ring is re-initialised anyway).
    devices::UniqueFd initialise_for_client();

    // Runs fn(ring bytes, write offset) under the ring's lock; fn writes
    // command records and moves the offset (a std::size_t&) on.
    template <typename Fn>
    void with_ring(Fn&& fn) {
        std::lock_guard lock(mutex_);
        fn(std::span<std::uint8_t>(data_, kSize), write_offset_);
    }

    std::size_t write_offset() const;

private:
    devices::UniqueFd fd_;
    std::uint8_t* data_ = nullptr;
    mutable std::mutex mutex_;
    std::size_t write_offset_ = 0;
};

}  // namespace qpx::host
