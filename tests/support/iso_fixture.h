// Fixtures made from real tools: ISO 9660 images by xorriso (or genisoimage)
// over folder trees of real files, and wave files by sox.
#pragma once

#include <cstdint>
#include <filesystem>

namespace qpx::testing {

// A real ISO image of at least 50 MB over a folder tree of files copied from
// /usr/share/doc, /usr/include and /usr/lib plus incompressible bytes. It is
// made once per test run (the run being the parent process, e.g. ctest) below
// $QPX_TEST_TMP and shared by every suite of that run; a lock makes parallel
// test processes wait for the one that builds it. Throws when it cannot be made.
const std::filesystem::path& shared_iso_image();

// Makes an ISO image of the folder `tree` at `iso`; throws on failure.
void make_iso_image(const std::filesystem::path& tree, const std::filesystem::path& iso);

// Writes `bytes` bytes that no compressor shrinks (a fixed pseudo-random
// sequence from `seed`) to `file`.
void write_incompressible_file(const std::filesystem::path& file, std::uint64_t bytes,
                               std::uint64_t seed);

// Makes a 44.1 kHz 16-bit stereo wave file of a sine tone with sox; throws on failure.
void make_wave_file(const std::filesystem::path& wav, double seconds, int frequency = 440);

}  // namespace qpx::testing
