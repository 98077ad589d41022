// libFuzzer target: the fuzz input is a whole container file. It is opened
// as the emulated drive opens containers (signature not checked) and sectors
// are read across the layout: the first sectors, both sides of every track
// node's start and end, and the far end of the address range. Any read may
// fail, but only with a container error, and never read or write outside
// its buffers.
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "qpx/container/container.h"
#include "qpx/container/errors.h"

namespace {

namespace qc = qpx::container;

void require_container_error(const std::error_code& ec) {
    if (ec && ec.category() != qc::container_category()) std::abort();
}

void read_around(const qc::Container& c, std::uint32_t sector, qc::BlockCache& cache) {
    std::array<std::uint8_t, qc::kUserSectorSize> user{};
    std::array<std::uint8_t, qc::kRawSectorSize> raw{};
    for (std::uint32_t s : {sector - 1, sector, sector + 1, sector + 16}) {
        require_container_error(c.read_sector(s, user, cache));
        require_container_error(c.read_raw_sector(s, raw, cache));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = memfd_create("container", MFD_CLOEXEC);
    if (fd < 0) return 0;
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, data + written, size - written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    std::shared_ptr<const qc::Container> checked;
    require_container_error(qc::Container::open(path, checked));

    std::shared_ptr<const qc::Container> c;
    const std::error_code opened = qc::Container::open(path, c, {.check_signature = false});
    require_container_error(opened);
    if (!opened) {
        qc::BlockCache cache;
        for (std::uint32_t s = 0; s < 48; ++s) read_around(*c, s, cache);
        for (const qc::TrackNode& node : c->track_nodes()) {
            if (node.is_unused()) continue;
            read_around(*c, node.start, cache);
            read_around(*c, node.end, cache);
        }
        read_around(*c, qc::kMaxDiscSectors, cache);
        read_around(*c, UINT32_MAX, cache);

        std::vector<std::uint8_t> run(40 * qc::kUserSectorSize);
        std::uint32_t done = 0;
        require_container_error(c->read_sectors(10, run, cache, &done));
        if (done > 40) std::abort();
        require_container_error(c->read_sectors(UINT32_MAX - 5, run, cache, &done));
    }
    close(fd);
    return 0;
}
