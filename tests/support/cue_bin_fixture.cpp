#include "support/cue_bin_fixture.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <stdexcept>
#include <vector>

#include "support/iso_fixture.h"
#include "support/raw_sector_encoder.h"
#include "support/temp_dir.h"

namespace qpx::testing {
namespace fs = std::filesystem;

namespace {

std::string quoted(const fs::path& p) {
    std::string s = "'";
    for (char c : p.string()) s += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return s + "'";
}

std::vector<std::uint8_t> read_file(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + file.string());
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string cue_time(std::uint32_t lba) {
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", lba / 4500, lba / 75 % 60, lba % 75);
    return text;
}

// Appends the ISO's sectors as raw mode 1 sectors; returns the count.
std::uint32_t write_data_track(std::ofstream& bin, const fs::path& iso, std::uint32_t start) {
    const std::vector<std::uint8_t> image = read_file(iso);
    if (image.empty() || image.size() % kUserDataBytes != 0)
        throw std::runtime_error(iso.string() + " is no whole number of 2048-byte sectors");
    const std::uint32_t sectors = static_cast<std::uint32_t>(image.size() / kUserDataBytes);
    for (std::uint32_t i = 0; i < sectors; ++i) {
        const auto raw = encode_mode1_sector(
            start + i, std::span<const std::uint8_t>(image.data() + static_cast<std::size_t>(i) * kUserDataBytes,
                                                     kUserDataBytes));
        bin.write(reinterpret_cast<const char*>(raw.data()), raw.size());
    }
    return sectors;
}

// Makes the tone with sox as a wave file and turns it into raw PCM with sox.
void make_pcm(const DiscTrackRecipe& recipe, const fs::path& wav, const fs::path& pcm) {
    make_wave_file(wav, recipe.seconds, recipe.frequency);
    std::string log;
    if (run_command("sox " + quoted(wav) + " -t raw -e signed-integer -b 16 -c 2 -r 44100 -L " + quoted(pcm) +
                        " 2>&1",
                    &log) != 0)
        throw std::runtime_error("sox failed: " + log);
}

// Appends the PCM padded with silence to whole sectors; returns the count.
std::uint32_t write_audio_track(std::ofstream& bin, const fs::path& pcm) {
    std::vector<std::uint8_t> samples = read_file(pcm);
    if (samples.empty()) throw std::runtime_error("sox made no samples");
    samples.resize((samples.size() + kRawSectorBytes - 1) / kRawSectorBytes * kRawSectorBytes, 0);
    bin.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(samples.size()));
    return static_cast<std::uint32_t>(samples.size() / kRawSectorBytes);
}

}  // namespace

CueBinDisc make_cue_bin_disc(const fs::path& dir, const std::string& name,
                             const std::vector<DiscTrackRecipe>& tracks) {
    CueBinDisc disc;
    disc.cue = dir / (name + ".cue");
    disc.bin = dir / (name + ".bin");
    std::ofstream bin(disc.bin, std::ios::binary | std::ios::trunc);
    std::string cue = "FILE \"" + disc.bin.filename().string() + "\" BINARY\n";
    std::uint32_t position = 0;
    std::map<std::pair<double, int>, fs::path> tones;  // a tone asked for again is made once
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const DiscTrackRecipe& recipe = tracks[i];
        DiscTrack track{recipe.kind, position, 0, {}};
        char number[24];
        std::snprintf(number, sizeof number, "%02zu", i + 1);
        if (recipe.kind == DiscTrackRecipe::Kind::Data) {
            track.sectors = write_data_track(bin, recipe.iso, position);
            track.source = recipe.iso;
            cue += std::string("  TRACK ") + number + " MODE1/2352\n";
        } else {
            const std::string stem = name + "-track" + number;
            auto [made, is_new] = tones.try_emplace({recipe.seconds, recipe.frequency}, dir / (stem + ".pcm"));
            if (is_new) make_pcm(recipe, dir / (stem + ".wav"), made->second);
            track.source = made->second;
            track.sectors = write_audio_track(bin, track.source);
            cue += std::string("  TRACK ") + number + " AUDIO\n";
        }
        cue += "    INDEX 01 " + cue_time(position) + "\n";
        position += track.sectors;
        disc.tracks.push_back(track);
    }
    disc.lead_out = position;
    bin.close();
    if (!bin) throw std::runtime_error("cannot write " + disc.bin.string());
    std::ofstream(disc.cue) << cue;
    return disc;
}

fs::path make_small_iso(const fs::path& dir, const std::string& name) {
    const fs::path tree = dir / (name + ".tree");
    fs::create_directories(tree / "docs");
    std::ofstream(tree / "README.TXT") << "A small disc for tests.\n";
    std::error_code ec;
    fs::copy_file("/usr/include/stdio.h", tree / "docs" / "stdio.h", ec);
    write_incompressible_file(tree / "noise.bin", 600 * 1024, 7);
    const fs::path iso = dir / name;
    make_iso_image(tree, iso);
    fs::remove_all(tree);
    return iso;
}

}  // namespace qpx::testing
