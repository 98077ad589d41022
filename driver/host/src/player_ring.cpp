#include "player_ring.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <system_error>

#include "qpx/driver/player_ring.h"

namespace qpx::host {
namespace {

[[noreturn]] void fail(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

}  // namespace

PlayerRing::PlayerRing() {
    fd_.reset(::memfd_create("qpxmport-player-ring", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!fd_.valid()) fail("creating the player ring");
    if (::ftruncate(fd_.get(), kSize) != 0) fail("sizing the player ring");
    // The size is fixed for every process that maps it.
    ::fcntl(fd_.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL);
    void* p = ::mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd_.get(), 0);
    if (p == MAP_FAILED) fail("mapping the player ring");
    data_ = static_cast<std::uint8_t*>(p);
    write_offset_ = driver::player_ring::initialise(std::span<std::uint8_t>(data_, kSize));
}

PlayerRing::~PlayerRing() { ::munmap(data_, kSize); }

devices::UniqueFd PlayerRing::initialise_for_client() {
    std::lock_guard lock(mutex_);
    write_offset_ = driver::player_ring::initialise(std::span<std::uint8_t>(data_, kSize));
    return devices::UniqueFd(::fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0));
}

std::size_t PlayerRing::write_offset() const {
    std::lock_guard lock(mutex_);
    return write_offset_;
}

}  // namespace qpx::host
