// READ(10) through the port host's socket (qpxmport, pass-through on the
// drive's letter) next to the same reads served in-process by the driver
// core, in one run: 2 KB and 64 KB requests, sequential over a plain
// container of a real ISO image. Rates are user data per second; p50_us and
// p99_us are the latencies of single requests. PortHostResident reports the
// resident memory of a qpxmport serving 500 drives.
//
// Goals: 64 KB reads through the socket at least 0.7x in-process; p99 of a
// 2 KB read under 1 ms; 500 drives under 64 MB resident.
//
// qpxmport is taken from QPX_BIN_DIR, else from ../bin beside this program.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "devices/device.h"
#include "qpx/container_writer/container_writer.h"
#include "qpx/driver/adapter.h"
#include "qpx/driver/file_container_opener.h"
#include "qpxdrv.h"
#include "registry/registry.h"
#include "support/iso_fixture.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace qpx;
using namespace qpx::driver;

fs::path qpxmport_program() {
    if (const char* dir = std::getenv("QPX_BIN_DIR"); dir && *dir) return fs::path(dir) / "qpxmport";
    return fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin" / "qpxmport";
}

// A private machine root with the bench's container.
struct Workspace {
    testing::TempDir dir{"port-host-bench"};
    fs::path container;
    std::uint32_t sectors = 0;

    Workspace() {
        ::setenv("QPX_ROOT", (dir / "root").c_str(), 1);
        const fs::path& iso = testing::shared_iso_image();
        container_writer::FileSectorSource source(iso, 2048);
        container_writer::ContainerPlan plan;
        plan.type = container::ContainerType::plain;
        plan.sectors = &source;
        container = dir / "bench.qim";
        container_writer::write_container(plan, container);
        sectors = source.sector_count();
    }
};

Workspace& workspace() {
    static Workspace w;
    return w;
}

void configure(std::uint32_t drives) {
    reg::Key key;
    reg::Key::create(reg::Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\qpxmport", key);
    key.set_dword("NumberOfCDROMs", drives);
}

// qpxmport on the workspace's root, stopped (SIGTERM) at the end.
class HostProcess {
public:
    explicit HostProcess(std::uint32_t drives) {
        configure(drives);
        std::error_code ec;
        fs::remove(fs::path(std::getenv("QPX_ROOT")) / "run" / "qpxmport.pid", ec);
        const fs::path program = qpxmport_program();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        const fs::path pid_file = fs::path(std::getenv("QPX_ROOT")) / "run" / "qpxmport.pid";
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!fs::exists(pid_file) && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ready_ = fs::exists(pid_file);
    }
    ~HostProcess() {
        ::kill(pid_, SIGTERM);
        int status;
        ::waitpid(pid_, &status, 0);
    }
    bool ready() const { return ready_; }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

std::array<std::uint8_t, 10> read10_cdb(std::uint32_t lba, std::uint32_t count) {
    return {0x28, 0, static_cast<std::uint8_t>(lba >> 24), static_cast<std::uint8_t>(lba >> 16),
            static_cast<std::uint8_t>(lba >> 8), static_cast<std::uint8_t>(lba), 0,
            static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count), 0};
}

void report_latencies(benchmark::State& state, std::vector<double>& us, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    if (us.empty()) return;
    std::sort(us.begin(), us.end());
    state.counters["p50_us"] = us[us.size() / 2];
    state.counters["p99_us"] = us[std::min(us.size() - 1, us.size() * 99 / 100)];
}

// A host reduced to one drive in this process: work items run at once.
struct InProcessDrive final : WorkExecutor, DriveListReader, PlayerChannel, CompletionSignal {
    explicit InProcessDrive(const fs::path& container)
        : list(container.string() + ";"),
          adapter(AdapterConfig{1, 1}, AdapterServices{*this, *this, opener, *this, *this}) {
        for (int i = 0; i < 3; ++i) {
            ScsiRequest r;
            r.address = address_of_drive(0);
            r.sense = sense;
            if (adapter.execute_scsi(r) == SrbStatus::success) break;
        }
    }
    void queue(std::function<void()> item) override { item(); }
    DriveListStatus read_container_files(std::string& text) override {
        text = list;
        return DriveListStatus::ok;
    }
    void send(const PlayerCommand&) override {}
    void read_finished() override {}
    bool read(std::uint32_t lba, std::span<std::uint8_t> buffer) {
        ScsiRequest r;
        r.address = address_of_drive(0);
        const auto cdb = read10_cdb(lba, static_cast<std::uint32_t>(buffer.size() / 2048));
        std::copy(cdb.begin(), cdb.end(), r.cdb.begin());
        r.data = buffer;
        r.sense = sense;
        if (adapter.execute_scsi(r) == SrbStatus::pending) adapter.complete_finished([](ScsiRequest&) {});
        return r.status == SrbStatus::success;
    }

    std::string list;
    FileContainerOpener opener;
    std::array<std::uint8_t, 18> sense{};
    Adapter adapter;
};

void BM_InProcessRead(benchmark::State& state) {
    Workspace& w = workspace();
    InProcessDrive drive(w.container);
    const std::uint32_t count = static_cast<std::uint32_t>(state.range(0) / 2048);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(state.range(0)));
    std::vector<double> us;
    std::uint32_t lba = 16;
    for (auto _ : state) {
        if (lba + count > w.sectors) lba = 16;
        const auto t0 = std::chrono::steady_clock::now();
        if (!drive.read(lba, buffer)) {
            state.SkipWithError("in-process read failed");
            break;
        }
        us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
        lba += count;
    }
    report_latencies(state, us, buffer.size());
}

void BM_SocketRead(benchmark::State& state) {
    Workspace& w = workspace();
    std::string list = w.container.string() + ";";
    QPXSetContainerFiles(list.c_str());
    HostProcess host(1);
    devices::Device g;
    if (!host.ready() || devices::open_device("\\\\.\\G:", g, {1, {}, {}})) {
        state.SkipWithError("qpxmport did not start");
        return;
    }
    const std::uint32_t count = static_cast<std::uint32_t>(state.range(0) / 2048);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(state.range(0)));
    std::array<std::uint8_t, 18> sense{};
    auto read = [&](std::uint32_t lba) {
        const auto cdb = read10_cdb(lba, count);
        devices::PassThroughDirect r;
        r.cdb = cdb;
        r.direction = devices::DataDirection::in;
        r.data = buffer;
        r.sense = sense;
        return !g.pass_through_direct(r) && r.srb_status == devices::kSrbSuccess;
    };
    // Through the start-up medium report.
    for (int i = 0; i < 1000 && !read(16); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::vector<double> us;
    std::uint32_t lba = 16;
    for (auto _ : state) {
        if (lba + count > w.sectors) lba = 16;
        const auto t0 = std::chrono::steady_clock::now();
        if (!read(lba)) {
            state.SkipWithError("read through the socket failed");
            break;
        }
        us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
        lba += count;
    }
    report_latencies(state, us, buffer.size());
}

void BM_PortHostResident(benchmark::State& state) {
    workspace();
    for (auto _ : state) {
        HostProcess host(static_cast<std::uint32_t>(state.range(0)));
        if (!host.ready()) {
            state.SkipWithError("qpxmport did not start");
            return;
        }
        // Let the start-up readiness checks of every drive finish.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        std::ifstream status("/proc/" + std::to_string(host.pid()) + "/status");
        std::string line;
        double kb = 0;
        while (std::getline(status, line))
            if (line.rfind("VmRSS:", 0) == 0) kb = std::stod(line.substr(6));
        state.counters["rss_MB"] = kb / 1024.0;
    }
}

BENCHMARK(BM_InProcessRead)->Arg(2048)->Arg(65536)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_SocketRead)->Arg(2048)->Arg(65536)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_PortHostResident)->Arg(500)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
