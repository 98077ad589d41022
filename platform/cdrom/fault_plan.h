// A fault plan: a text file that describes a disc with faults, so that
// programs can be tried against unreadable sectors, a drive that is slow to
// become ready or a disc changed under them. One directive per line, "#"
// starts a comment, paths are relative to the plan's folder:
//
//   disc IMAGE.cue               the disc served (required)
//   unreadable FIRST [LAST]      sectors that never read
//   fails SECTOR TIMES           a sector that fails its first TIMES reads
//   not-ready ACCESSES           the first ACCESSES reads or TOC reads find no disc ready
//   swap-after ACCESSES IMAGE    after ACCESSES accesses the disc becomes IMAGE
//   journal FILE                 each access and each wait is appended to FILE
//
// Counts start anew each time the drive is opened.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qpx::cdrom {

inline constexpr std::string_view kFaultPlanExtension = ".qpxfaults";

struct SectorRange {
    std::uint32_t first = 0;
    std::uint32_t last = 0;  // inclusive
    bool overlaps(std::uint32_t lba, std::uint32_t count) const {
        return count > 0 && first < static_cast<std::uint64_t>(lba) + count && lba <= last;
    }
};

struct FlakySector {
    std::uint32_t sector = 0;
    int failures = 0;
};

struct DiscSwap {
    int after_accesses = 0;
    std::filesystem::path disc;
};

struct FaultPlan {
    std::filesystem::path disc;
    std::vector<SectorRange> unreadable;
    std::vector<FlakySector> flaky;
    int not_ready_accesses = 0;
    std::optional<DiscSwap> swap;
    std::filesystem::path journal;  // empty: none
};

// Parses a plan; false with "line N: reason" in `error` when it is malformed.
bool parse_fault_plan(std::string_view text, const std::filesystem::path& base_dir, FaultPlan& out,
                      std::string& error);
bool load_fault_plan(const std::filesystem::path& file, FaultPlan& out, std::string& error);

bool is_fault_plan_path(const std::filesystem::path& path);

}  // namespace qpx::cdrom
