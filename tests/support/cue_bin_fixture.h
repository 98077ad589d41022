// Cue/bin disc images made at test time from real tools: data tracks are
// an ISO image by xorriso written as raw MODE1/2352 sectors, audio tracks
// are sox tones as 16-bit little-endian stereo PCM. All tracks share one
// bin file, each starting where the one before ends.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qpx::testing {

struct DiscTrackRecipe {
    enum class Kind { Data, Audio };
    Kind kind = Kind::Audio;
    std::filesystem::path iso;  // data: the ISO image whose sectors the track holds
    double seconds = 2.0;       // audio: length of the tone
    int frequency = 440;        // audio: pitch of the tone

    static DiscTrackRecipe data(std::filesystem::path iso) { return {Kind::Data, std::move(iso), 0, 0}; }
    static DiscTrackRecipe audio(double seconds, int frequency) { return {Kind::Audio, {}, seconds, frequency}; }
};

struct DiscTrack {
    DiscTrackRecipe::Kind kind;
    std::uint32_t start = 0;    // LBA
    std::uint32_t sectors = 0;
    std::filesystem::path source;  // data: the ISO image; audio: the PCM sox made
};

struct CueBinDisc {
    std::filesystem::path cue;
    std::filesystem::path bin;
    std::vector<DiscTrack> tracks;
    std::uint32_t lead_out = 0;
};

// Writes `name`.cue and `name`.bin into `dir`; throws when a tool fails.
CueBinDisc make_cue_bin_disc(const std::filesystem::path& dir, const std::string& name,
                             const std::vector<DiscTrackRecipe>& tracks);

// A small ISO image (a few hundred sectors of real files) made by xorriso
// in `dir`; throws when it cannot be made.
std::filesystem::path make_small_iso(const std::filesystem::path& dir, const std::string& name = "data.iso");

}  // namespace qpx::testing
