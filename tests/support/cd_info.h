// The track list that cd-info (libcdio-utils) prints for a disc image: a
// reading of the disc by a program we did not write.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qpx::testing {

struct CdInfoTrack {
    int number = 0;       // 170 for the lead-out
    std::uint32_t lsn = 0;
    std::string type;     // "data", "audio", "leadout"
};

// Runs cd-info on the image; throws when it cannot run or lists no lead-out.
std::vector<CdInfoTrack> cd_info_tracks(const std::filesystem::path& image);

// The track starts and the lead-out in decimal, one blank apart.
std::string cd_info_toc_text(const std::filesystem::path& image);

}  // namespace qpx::testing
