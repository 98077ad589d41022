// Cue/bin discs shared by the CD tests of one test program, made once on
// first use (see cue_bin_fixture.h).
#pragma once

#include <filesystem>

#include "support/cue_bin_fixture.h"

namespace qpx::testing {

struct TestDiscs {
    std::filesystem::path dir;
    std::filesystem::path iso;          // the ISO image of the data tracks
    std::filesystem::path other_iso;    // a second, larger one
    CueBinDisc mixed;                   // data track, then two audio tracks
    CueBinDisc other;                   // same layout, other lengths
    CueBinDisc shorter;                 // as mixed, but its last track shorter: only the lead-out differs
    CueBinDisc cd_extra;                // twelve audio tracks, then a data track
    std::filesystem::path cooked_cue;   // the ISO as a MODE1/2048 track
};

const TestDiscs& test_discs();

}  // namespace qpx::testing
