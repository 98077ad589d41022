// READ(10) served in-process by the driver core from containers made of a
// real ISO image (at least 600 MB), next to a plain pread loop over the ISO
// in the same run: sequential requests of 2, 32 and 64 KB and random 2 KB
// requests. Rates are user data per second; the counter cpu_s_per_GB is the
// process CPU time spent per GB delivered.
//
// The image: the file named by QPX_BENCH_ISO, else one made at start with
// `xorriso -as mkisofs` over /usr/share/doc, /usr/include, /usr/lib/gcc and
// the Python library (600 MB or more, but no more than a CD holds); it and
// the containers live in a temporary folder removed at exit.
//
// Goals: plain containers at least 0.8x the pread loop at 64 KB; compressed
// containers at least 300 MB/s at 64 KB sequential; random 2 KB reads from
// compressed containers at least 20 MB/s.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "qpx/container_writer/image_container.h"
#include "qpx/driver/adapter.h"
#include "qpx/driver/file_container_opener.h"

namespace {

namespace fs = std::filesystem;
namespace cw = qpx::container_writer;
namespace qc = qpx::container;
using namespace qpx::driver;

constexpr std::uint64_t kMinimumImageBytes = 600ull << 20;
constexpr std::uint64_t kLargestDiscSectors = 449850;  // 99:59:74

double cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Workspace {
    fs::path dir;
    fs::path iso;
    std::uint32_t sectors = 0;
    std::map<std::string, fs::path> containers;

    ~Workspace() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

Workspace& workspace() {
    static Workspace w = [] {
        Workspace w;
        const char* tmp = std::getenv("TMPDIR");
        w.dir = fs::path(tmp && *tmp ? tmp : "/tmp") / ("qpx-driver-bench-" + std::to_string(::getpid()));
        fs::create_directories(w.dir);
        if (const char* env = std::getenv("QPX_BENCH_ISO"); env && *env) {
            w.iso = env;
        } else {
            w.iso = w.dir / "bench.iso";
            std::string cmd = "xorriso -as mkisofs -quiet -R -J -graft-points -o '" + w.iso.string() + "'";
            // Real files, 600 MB or more but no more than a CD holds.
            for (const char* g : {"doc=/usr/share/doc", "include=/usr/include", "gcc=/usr/lib/gcc",
                                  "python3=/usr/lib/python3", "python311=/usr/lib/python3.11"})
                cmd += std::string(" '") + g + "'";
            cmd += " >/dev/null 2>&1";
            if (std::system(cmd.c_str()) != 0 || !fs::exists(w.iso)) {
                std::cerr << "driver_read_bench: xorriso failed: " << cmd << "\n";
                std::exit(1);
            }
        }
        const auto bytes = fs::file_size(w.iso);
        if (bytes < kMinimumImageBytes) std::cerr << "driver_read_bench: warning: image below 600 MB\n";
        if (bytes / qc::kUserSectorSize > kLargestDiscSectors) {
            std::cerr << "driver_read_bench: the image is larger than a CD (99:59:74); containers refuse it\n";
            std::exit(1);
        }
        w.sectors = static_cast<std::uint32_t>(bytes / qc::kUserSectorSize);
        std::cerr << "driver_read_bench: image " << w.iso << ", " << bytes / 1e6 << " MB\n";
        return w;
    }();
    return w;
}

struct Layout {
    const char* name;
    qc::ContainerType type;
    qc::Storage storage;  // type 5 only
};

const fs::path& container_for(const Layout& layout) {
    Workspace& w = workspace();
    auto found = w.containers.find(layout.name);
    if (found != w.containers.end()) return found->second;
    const fs::path path = w.dir / (std::string(layout.name) + ".qim");
    std::cerr << "driver_read_bench: writing " << path.filename() << "...\n";
    cw::write_image_container(w.iso, layout.type, layout.storage, path);
    return w.containers.emplace(layout.name, path).first->second;
}

// A host reduced to what one drive needs: work items run at once.
struct InlineHost final : WorkExecutor, DriveListReader, PlayerChannel, CompletionSignal {
    explicit InlineHost(const fs::path& container)
        : list(container.string() + ";"),
          adapter(AdapterConfig{1, 1}, AdapterServices{*this, *this, opener, *this, *this}) {
        sense.assign(18, 0);
        for (int i = 0; i < 3 && command(0x00) != SrbStatus::success; ++i) {}
    }
    void queue(std::function<void()> item) override { item(); }
    DriveListStatus read_container_files(std::string& text) override {
        text = list;
        return DriveListStatus::ok;
    }
    void send(const PlayerCommand&) override {}
    void read_finished() override {}

    SrbStatus command(std::uint8_t op) {
        ScsiRequest r;
        r.address = address_of_drive(0);
        r.cdb[0] = op;
        r.sense = sense;
        return adapter.execute_scsi(r);
    }
    // One READ(10) of `buffer.size()` bytes; true when all were delivered.
    bool read(std::uint32_t lba, std::span<std::uint8_t> buffer) {
        ScsiRequest r;
        r.address = address_of_drive(0);
        r.cdb = {0x28, 0, static_cast<std::uint8_t>(lba >> 24), static_cast<std::uint8_t>(lba >> 16),
                 static_cast<std::uint8_t>(lba >> 8), static_cast<std::uint8_t>(lba)};
        r.data = buffer;
        r.sense = sense;
        if (adapter.execute_scsi(r) == SrbStatus::pending) adapter.complete_finished([](ScsiRequest&) {});
        return r.status == SrbStatus::success && r.transferred == buffer.size();
    }

    std::string list;
    FileContainerOpener opener;
    std::vector<std::uint8_t> sense;
    Adapter adapter;
};

// Next request start: sequential passes from sector 16 on, or random sectors.
struct Cursor {
    std::uint32_t sectors;
    std::uint32_t per_request;
    bool random;
    std::uint32_t at = 16;
    std::uint64_t state = 0x9E3779B97F4A7C15ull;

    std::uint32_t next() {
        if (random) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            return 16 + static_cast<std::uint32_t>((state >> 33) % (sectors - 16 - per_request));
        }
        if (at + per_request > sectors) at = 16;
        const std::uint32_t here = at;
        at += per_request;
        return here;
    }
};

void finish(benchmark::State& state, std::uint64_t bytes, double cpu) {
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["cpu_s_per_GB"] = bytes ? cpu / (static_cast<double>(bytes) / 1e9) : 0.0;
}

void drive_reads(benchmark::State& state, Layout layout, std::uint32_t request_bytes, bool random) {
    InlineHost host(container_for(layout));
    std::vector<std::uint8_t> buffer(request_bytes);
    Cursor cursor{workspace().sectors, request_bytes / 2048, random};
    std::uint64_t bytes = 0;
    const double cpu = cpu_seconds();
    for (auto _ : state) {
        if (!host.read(cursor.next(), buffer)) {
            state.SkipWithError("READ(10) failed");
            return;
        }
        bytes += buffer.size();
        benchmark::DoNotOptimize(buffer.data());
    }
    finish(state, bytes, cpu_seconds() - cpu);
}

void pread_loop(benchmark::State& state, std::uint32_t request_bytes, bool random) {
    const int fd = ::open(workspace().iso.c_str(), O_RDONLY | O_CLOEXEC);
    std::vector<std::uint8_t> buffer(request_bytes);
    Cursor cursor{workspace().sectors, request_bytes / 2048, random};
    std::uint64_t bytes = 0;
    const double cpu = cpu_seconds();
    for (auto _ : state) {
        const off_t at = static_cast<off_t>(cursor.next()) * 2048;
        if (::pread(fd, buffer.data(), buffer.size(), at) != static_cast<ssize_t>(buffer.size())) {
            state.SkipWithError("pread failed");
            break;
        }
        bytes += buffer.size();
        benchmark::DoNotOptimize(buffer.data());
    }
    finish(state, bytes, cpu_seconds() - cpu);
    ::close(fd);
}

const Layout kLayouts[] = {
    {"type0", qc::ContainerType::plain, qc::Storage::plain},
    {"type1", qc::ContainerType::normal_blocks, qc::Storage::plain},
    {"type6", qc::ContainerType::maximal_blocks, qc::Storage::plain},
    {"type5_storage0", qc::ContainerType::track_table, qc::Storage::plain},
    {"type5_storage1", qc::ContainerType::track_table, qc::Storage::normal},
    {"type5_storage5", qc::ContainerType::track_table, qc::Storage::maximal},
    {"type5_storage3", qc::ContainerType::track_table, qc::Storage::raw},
};

const bool registered = [] {
    for (const std::uint32_t kb : {2u, 32u, 64u})
        benchmark::RegisterBenchmark(("PreadIso/seq_" + std::to_string(kb) + "KB").c_str(), pread_loop, kb * 1024, false);
    benchmark::RegisterBenchmark("PreadIso/random_2KB", pread_loop, 2048u, true);
    for (const Layout& layout : kLayouts) {
        for (const std::uint32_t kb : {2u, 32u, 64u})
            benchmark::RegisterBenchmark(
                ("Drive/" + std::string(layout.name) + "/seq_" + std::to_string(kb) + "KB").c_str(), drive_reads,
                layout, kb * 1024, false);
        benchmark::RegisterBenchmark(("Drive/" + std::string(layout.name) + "/random_2KB").c_str(), drive_reads,
                                     layout, 2048u, true);
    }
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
