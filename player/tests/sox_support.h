// Wave files made by sox, and sox's own decoding of them, as references
// the player's output is compared with.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qpx::player::test {

// Runs sox with `args`; fails the test (and returns false) when it fails.
bool run_sox(const std::vector<std::string>& args);

// A 16-bit stereo 44,100 Hz PCM wave of `seconds` of a test signal that
// differs in every sample (so a misplaced start shows), then re-encoded
// with `encoding` ("" keeps PCM; else a sox encoding such as "ima-adpcm").
std::filesystem::path make_wave(const std::filesystem::path& folder, const std::string& name, double seconds,
                                const std::string& encoding = "", int rate = 44100, int channels = 2);

// sox's decoding of a wave file as 16-bit stereo samples at 44,100 Hz.
std::vector<std::int16_t> sox_decoding(const std::filesystem::path& wave);

std::vector<std::int16_t> read_raw_samples(const std::filesystem::path& file);

}  // namespace qpx::player::test
