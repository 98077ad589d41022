// An opened container: its header, layout offsets, defect map, stored TOC,
// track nodes and block indexes, read once at opening. Reading sectors does
// not change the object, so one Container may serve several threads, each
// with its own BlockCache.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <system_error>
#include <vector>

#include "qpx/container/block_cache.h"
#include "qpx/container/block_index.h"
#include "qpx/container/defect_map.h"
#include "qpx/container/file_io.h"
#include "qpx/container/header.h"
#include "qpx/container/sector_locator.h"
#include "qpx/container/track_node.h"

namespace qpx::container {

struct OpenOptions {
    // Refuse headers whose signature is neither "QIM V1.0" nor "QIM V3.0".
    // The emulated drive serves a container whatever its signature says.
    bool check_signature = true;
};

class Container {
public:
    // Opens and checks the layout. Errors: not_found (no such file),
    // open_failed, bad_container (no header block, wrong signature, defect
    // map beyond the largest disc), medium_error (truncated tables).
    // A block index that cannot be loaded does not fail the opening: reads
    // from its data area report the error.
    static std::error_code open(const std::filesystem::path& path,
                                std::shared_ptr<const Container>& out,
                                const OpenOptions& options = {});

    const std::filesystem::path& path() const { return path_; }
    const Header& header() const { return header_; }
    // B: the offset right after the header block and the defect map.
    std::uint64_t base_offset() const { return base_; }
    bool has_defect_map() const { return has_defect_map_; }
    const DefectMap& defect_map() const { return defect_map_; }
    // Types 2 and 3: the 804-byte READ TOC answer; empty otherwise.
    std::span<const std::uint8_t> stored_toc() const { return stored_toc_; }
    // Type 5: the 70 track nodes; all unused otherwise.
    const TrackTable& track_nodes() const { return nodes_; }

    std::error_code locate(std::uint32_t sector, SectorLocation& out) const;

    // The 2,048 bytes of user data of one sector (`out` must hold exactly
    // 2,048 bytes). Sectors marked in the defect map fail with
    // defective_sector; nothing is written to `out` on failure except
    // possibly partial bytes the caller must not use.
    std::error_code read_sector(std::uint32_t sector, std::span<std::uint8_t> out,
                                BlockCache& cache) const;

    // The 2,352 stored bytes of a sector of a raw-sector track (`out` must
    // hold exactly 2,352 bytes); wrong_track_mode for 2,048-byte tracks.
    std::error_code read_raw_sector(std::uint32_t sector, std::span<std::uint8_t> out,
                                    BlockCache& cache) const;

    // Consecutive sectors of user data into `out` (a multiple of 2,048 bytes).
    // Stops at the first failing sector; `*sectors_read` tells how many were
    // delivered before it.
    std::error_code read_sectors(std::uint32_t first, std::span<std::uint8_t> out,
                                 BlockCache& cache, std::uint32_t* sectors_read = nullptr) const;

private:
    struct AreaIndex {
        bool loaded = false;
        std::error_code error;
        BlockIndex index;
    };

    Container() = default;
    std::error_code load_layout(const OpenOptions& options);
    void load_block_indexes();
    std::error_code read_stored(const SectorLocation& where, std::span<std::uint8_t> out) const;
    std::error_code block_bytes(const SectorLocation& where, std::size_t length, BlockCache& cache,
                                std::span<const std::uint8_t>& bytes) const;
    std::error_code read_user_data(const SectorLocation& where, std::span<std::uint8_t> out,
                                   BlockCache& cache) const;

    std::filesystem::path path_;
    FileHandle file_;
    std::uint64_t id_ = 0;
    Header header_;
    std::uint64_t base_ = kHeaderBlockSize;
    bool has_defect_map_ = false;
    DefectMap defect_map_;
    std::vector<std::uint8_t> stored_toc_;
    TrackTable nodes_{};
    std::array<AreaIndex, kTrackNodeCount> indexes_{};
};

}  // namespace qpx::container
