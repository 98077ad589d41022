#include "support/iso_fixture.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace qpx::testing {
namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kMinimumIsoBytes = 50ull * 1024 * 1024;
constexpr std::uint64_t kIncompressibleBytes = 10ull * 1024 * 1024;

struct TreeSource {
    const char* folder;
    std::uint64_t budget;  // bytes copied from it at most
};
constexpr TreeSource kTreeSources[] = {
    {"/usr/share/doc", 20ull << 20},
    {"/usr/include", 8ull << 20},
    {"/usr/lib/x86_64-linux-gnu", 20ull << 20},
};

std::string quoted(const fs::path& p) {
    std::string s = "'";
    for (char c : p.string()) s += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return s + "'";
}

// Start time (in clock ticks since boot) of a process, or empty when it is gone.
std::string process_start_time(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) return {};
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {}
    return field;
}

fs::path fixture_root() {
    const char* base = std::getenv("QPX_TEST_TMP");
    return (base && *base ? fs::path(base) : fs::temp_directory_path()) / "qpx-fixtures";
}

// Folder of this run's shared fixtures: named by the parent process and its
// start time, so every test process started by one ctest run finds the same.
std::string run_name() {
    const pid_t parent = getppid();
    return "run-" + std::to_string(parent) + "-" + process_start_time(parent);
}

// Removes fixtures of runs whose parent process has ended.
void remove_stale_runs(const fs::path& root) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(root, ec)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with("run-")) continue;
        const auto dash = name.find('-', 4);
        if (dash == std::string::npos) continue;
        const pid_t pid = static_cast<pid_t>(std::atol(name.substr(4, dash - 4).c_str()));
        if (process_start_time(pid) != name.substr(dash + 1)) fs::remove_all(entry.path(), ec);
    }
}

class FileLock {
public:
    explicit FileLock(const fs::path& file) : fd_(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
        if (fd_ < 0 || ::flock(fd_, LOCK_EX) != 0) throw std::runtime_error("cannot lock " + file.string());
    }
    ~FileLock() { ::close(fd_); }

private:
    int fd_;
};

std::uint64_t copy_files(const fs::path& from, const fs::path& to, std::uint64_t budget) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(from, fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) break;
        if (it->is_regular_file(ec) && !it->is_symlink(ec)) files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    std::uint64_t copied = 0;
    for (const fs::path& file : files) {
        const std::uint64_t size = fs::file_size(file, ec);
        if (ec || size == 0 || copied + size > budget || access(file.c_str(), R_OK) != 0) continue;
        const fs::path dest = to / fs::relative(file, from);
        fs::create_directories(dest.parent_path());
        if (fs::copy_file(file, dest, ec)) copied += size;
    }
    return copied;
}

void build_tree(const fs::path& tree) {
    std::uint64_t total = 0;
    for (const TreeSource& source : kTreeSources) {
        const fs::path dest = tree / fs::path(source.folder).filename();
        total += copy_files(source.folder, dest, source.budget);
    }
    fs::create_directories(tree / "noise");
    for (std::uint64_t written = 0, i = 0; written < kIncompressibleBytes || total < kMinimumIsoBytes; ++i) {
        const std::uint64_t bytes = 1ull << 20;
        write_incompressible_file(tree / "noise" / ("block" + std::to_string(i) + ".bin"), bytes, i + 1);
        written += bytes;
        total += bytes;
    }
}

fs::path build_shared_iso() {
    const fs::path root = fixture_root();
    fs::create_directories(root);
    FileLock lock(root / ".lock");
    const fs::path run = root / run_name();
    const fs::path iso = run / "image.iso";
    if (fs::exists(iso)) return iso;
    remove_stale_runs(root);
    fs::create_directories(run);
    const fs::path tree = run / "tree";
    fs::remove_all(tree);
    build_tree(tree);
    const fs::path partial = run / "image.iso.part";
    make_iso_image(tree, partial);
    fs::remove_all(tree);
    if (fs::file_size(partial) < kMinimumIsoBytes) throw std::runtime_error("shared ISO image came out too small");
    fs::rename(partial, iso);
    return iso;
}

}  // namespace

const fs::path& shared_iso_image() {
    static std::once_flag once;
    static fs::path iso;
    std::call_once(once, [] { iso = build_shared_iso(); });
    return iso;
}

void make_iso_image(const fs::path& tree, const fs::path& iso) {
    std::string log;
    const std::string volume = "QPXTEST";
    int rc = run_command("xorriso -as mkisofs -quiet -R -J -V " + volume + " -o " + quoted(iso) + " " +
                             quoted(tree) + " 2>&1",
                         &log);
    if (rc != 0)
        rc = run_command("genisoimage -quiet -R -J -V " + volume + " -o " + quoted(iso) + " " + quoted(tree) +
                             " 2>&1",
                         &log);
    if (rc != 0) throw std::runtime_error("cannot make an ISO image: " + log);
}

void write_incompressible_file(const fs::path& file, std::uint64_t bytes, std::uint64_t seed) {
    std::ofstream out(file, std::ios::binary);
    std::uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
    std::vector<char> chunk(1 << 16);
    for (std::uint64_t done = 0; done < bytes;) {
        for (std::size_t i = 0; i < chunk.size(); i += 8) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            for (int b = 0; b < 8; ++b) chunk[i + b] = static_cast<char>(state >> (8 * b));
        }
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), bytes - done));
        out.write(chunk.data(), static_cast<std::streamsize>(n));
        done += n;
    }
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

void make_wave_file(const fs::path& wav, double seconds, int frequency) {
    std::string log;
    const std::string command = "sox -n -r 44100 -b 16 -c 2 " + quoted(wav) + " synth " + std::to_string(seconds) +
                                " sine " + std::to_string(frequency) + " 2>&1";
    if (run_command(command, &log) != 0) throw std::runtime_error("sox failed: " + log);
}

}  // namespace qpx::testing
