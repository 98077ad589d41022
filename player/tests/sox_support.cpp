#include "sox_support.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <iterator>

extern char** environ;

namespace qpx::player::test {

bool run_sox(const std::vector<std::string>& args) {
    std::vector<char*> argv{const_cast<char*>("sox")};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, "sox", nullptr, nullptr, argv.data(), environ) != 0) {
        ADD_FAILURE() << "cannot start sox";
        return false;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!ok) {
        std::string line;
        for (const auto& a : args) line += " " + a;
        ADD_FAILURE() << "sox" << line << " failed";
    }
    return ok;
}

std::filesystem::path make_wave(const std::filesystem::path& folder, const std::string& name, double seconds,
                                const std::string& encoding, int rate, int channels) {
    const auto pcm = folder / (encoding.empty() ? name : "pcm-" + name);
    // Two tones of different pitch and a little noise: no two stretches alike.
    run_sox({"-n", "-r", std::to_string(rate), "-c", std::to_string(channels), "-b", "16", pcm.string(), "synth",
             std::to_string(seconds), "sine", "300-3000", "sine", "443", "synth", "whitenoise", "amod", "0.9",
             "gain", "-3"});
    if (encoding.empty()) return pcm;
    const auto coded = folder / name;
    run_sox({pcm.string(), "-e", encoding, coded.string()});
    return coded;
}

std::vector<std::int16_t> sox_decoding(const std::filesystem::path& wave) {
    const auto raw = wave.string() + ".sox.raw";
    run_sox({wave.string(), "-t", "raw", "-e", "signed-integer", "-b", "16", "-L", "-c", "2", "-r", "44100", raw});
    return read_raw_samples(raw);
}

std::vector<std::int16_t> read_raw_samples(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::int16_t> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return samples;
}

}  // namespace qpx::player::test
