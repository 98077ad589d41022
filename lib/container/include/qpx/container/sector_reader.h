// One reader of one container: the container plus its own block cache.
#pragma once

#include <memory>
#include <utility>

#include "qpx/container/container.h"

namespace qpx::container {

class SectorReader {
public:
    explicit SectorReader(std::shared_ptr<const Container> container)
        : container_(std::move(container)) {}

    const Container& container() const { return *container_; }

    std::error_code read(std::uint32_t sector, std::span<std::uint8_t> out) {
        return container_->read_sector(sector, out, cache_);
    }
    std::error_code read_raw(std::uint32_t sector, std::span<std::uint8_t> out) {
        return container_->read_raw_sector(sector, out, cache_);
    }
    std::error_code read_many(std::uint32_t first, std::span<std::uint8_t> out,
                              std::uint32_t* sectors_read = nullptr) {
        return container_->read_sectors(first, out, cache_, sectors_read);
    }

private:
    std::shared_ptr<const Container> container_;
    BlockCache cache_;
};

}  // namespace qpx::container
