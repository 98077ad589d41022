#include "support/test_discs.h"

#include <fstream>
#include <memory>
#include <mutex>

#include "support/iso_fixture.h"
#include "support/temp_dir.h"

namespace qpx::testing {

const TestDiscs& test_discs() {
    static std::once_flag once;
    static std::unique_ptr<TempDir> folder;
    static TestDiscs discs;
    std::call_once(once, [] {
        folder = std::make_unique<TempDir>("discs");
        discs.dir = folder->path();
        discs.iso = make_small_iso(discs.dir);
        const auto tree = discs.dir / "other-tree";
        std::filesystem::create_directories(tree);
        write_incompressible_file(tree / "more.bin", 900 * 1024, 11);
        discs.other_iso = discs.dir / "other.iso";
        make_iso_image(tree, discs.other_iso);
        using T = DiscTrackRecipe;
        discs.mixed = make_cue_bin_disc(discs.dir, "mixed", {T::data(discs.iso), T::audio(2.0, 440), T::audio(1.5, 660)});
        discs.other = make_cue_bin_disc(discs.dir, "other", {T::data(discs.other_iso), T::audio(2.5, 330), T::audio(1.0, 550)});
        discs.shorter = make_cue_bin_disc(discs.dir, "shorter", {T::data(discs.iso), T::audio(2.0, 440), T::audio(1.0, 660)});
        std::vector<T> extra;
        for (int i = 0; i < 12; ++i) extra.push_back(T::audio(1.0, 300 + 40 * i));
        extra.push_back(T::data(discs.iso));
        discs.cd_extra = make_cue_bin_disc(discs.dir, "cd-extra", extra);
        // libcdio looks for the track file under the cue sheet's own name.
        discs.cooked_cue = discs.dir / "cooked.cue";
        std::filesystem::copy_file(discs.iso, discs.dir / "cooked.bin");
        std::ofstream(discs.cooked_cue) << "FILE \"cooked.bin\" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n";
    });
    return discs;
}

}  // namespace qpx::testing
