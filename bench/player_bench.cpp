// The audio player's two speed goals.
//
// FirstSample: a real qpxmport with a one-track audio disc and the player
// engine on the steady clock; each iteration sends PLAY AUDIO MSF to the
// drive and times how long until the first frame reaches the sink (the
// ring is polled every 100 ms, so the mean is about half of that plus the
// work). Counters: mean and worst in ms. Goal: every first frame within 300 ms.
//
// CpuPerMinute/pcm and /ima_adpcm: one minute of a sox-made wave played by
// the track player into a sink that only counts, on a virtual clock ticking
// every 50 ms; the time is CPU time per minute of audio and the counter
// core_percent its share of one core. Goal: under 2 % for PCM.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <ctime>
#include <thread>

#include "clock.h"
#include "driver_link.h"
#include "file_sink.h"
#include "player_engine.h"
#include "port_host_process.h"
#include "qpx/container_writer/container_writer.h"
#include "qpxdrv.h"
#include "track_play.h"
#include "wave_source.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace qpx::player;
using namespace std::chrono_literals;

bool sox(std::vector<std::string> args) {
    std::vector<char*> argv{const_cast<char*>("sox")};
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, "sox", nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

fs::path make_wave(const fs::path& folder, const std::string& name, int seconds, const std::string& encoding) {
    const fs::path pcm = folder / ("pcm-" + name);
    const fs::path out = folder / name;
    if (!sox({"-n", "-r", "44100", "-c", "2", "-b", "16", pcm.string(), "synth", std::to_string(seconds), "sine",
              "300-3000", "sine", "443", "gain", "-3"}) ||
        (!encoding.empty() && !sox({pcm.string(), "-e", encoding, out.string()})))
        throw std::runtime_error("sox could not make " + name);
    if (encoding.empty()) fs::rename(pcm, out);
    return out;
}

// Counts what it is given and plays it at once.
class CountingSink final : public AudioSink {
public:
    bool start(std::string&) override { return true; }
    std::size_t writable_frames() override { return 52920; }
    std::size_t write(std::span<const std::int16_t> s) override {
        frames_ += s.size() / 2;
        return s.size() / 2;
    }
    std::uint64_t played_frames() override { return frames_; }
    void pause() override {}
    void resume() override {}
    void finish() override { frames_ = 0; }

private:
    std::uint64_t frames_ = 0;
};

void CpuPerMinute(benchmark::State& state, const std::string& encoding) {
    qpx::testing::TempDir dir("player-bench");
    const fs::path wave = make_wave(dir.path(), "minute.wav", 60, encoding);
    VirtualClock clock;
    CountingSink sink;
    timespec cpu_start{}, cpu_end{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu_start);
    for (auto _ : state) {
        std::string why;
        auto source = WaveSource::open(wave.string(), why);
        if (!source) {
            state.SkipWithError(why.c_str());
            return;
        }
        TrackPlay play(sink, std::move(source), 0);
        play.start(why);
        while (!play.tick().ended) clock.advance(50ms);
    }
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu_end);
    const double cpu = static_cast<double>(cpu_end.tv_sec - cpu_start.tv_sec) +
                       static_cast<double>(cpu_end.tv_nsec - cpu_start.tv_nsec) / 1e9;
    // CPU seconds per minute of audio, as a share of one core's minute.
    state.counters["core_percent"] = 100.0 * cpu / static_cast<double>(state.iterations()) / 60.0;
}

// Stamps the steady time of the first frame written after each start.
class StampingSink final : public AudioSink {
public:
    explicit StampingSink(AudioSink& inner) : inner_(inner) {}
    bool start(std::string& why) override { return inner_.start(why); }
    std::size_t writable_frames() override { return inner_.writable_frames(); }
    std::size_t write(std::span<const std::int16_t> s) override {
        const std::size_t n = inner_.write(s);
        if (n > 0) {
            std::lock_guard lock(mutex_);
            if (!first_) first_ = std::chrono::steady_clock::now();
        }
        return n;
    }
    std::uint64_t played_frames() override { return inner_.played_frames(); }
    void pause() override { inner_.pause(); }
    void resume() override { inner_.resume(); }
    void finish() override { inner_.finish(); }

    void arm() {
        std::lock_guard lock(mutex_);
        first_.reset();
    }
    std::optional<std::chrono::steady_clock::time_point> first() {
        std::lock_guard lock(mutex_);
        return first_;
    }

private:
    AudioSink& inner_;
    std::mutex mutex_;
    std::optional<std::chrono::steady_clock::time_point> first_;
};

void FirstSample(benchmark::State& state) {
    qpx::testing::ScopedMachineRoot root;
    qpx::testing::TempDir dir("player-bench");
    const fs::path wave = make_wave(dir.path(), "track.wav", 4, "");
    qpx::container_writer::ContainerPlan plan;
    plan.type = qpx::container::ContainerType::track_table;
    plan.disc_format = qpx::container::disc_format::audio;
    plan.tracks = {qpx::container_writer::audio_track(0, 300, "Track 1.wav", wave)};
    const fs::path disc = dir / "disc" / "audio.qim";
    fs::create_directories(disc.parent_path());
    qpx::container_writer::write_container(plan, disc);
    QPXSetContainerFiles((disc.string() + ";").c_str());
    qpx::testing::configure_port_host(1);
    qpx::testing::PortHostProcess host;
    if (!host.wait_ready()) {
        state.SkipWithError("qpxmport did not start");
        return;
    }
    qpx::devices::Device drive;
    const auto port = PortLink::find_port();
    if (!port || qpx::devices::open_device("\\\\.\\Scsi" + std::to_string(*port) + ":", drive)) {
        state.SkipWithError("cannot open the port");
        return;
    }
    const auto send = [&](std::vector<std::uint8_t> cdb) {
        std::array<std::uint8_t, 32> sense{};
        qpx::devices::PassThroughDirect r;
        r.bus = 1;
        r.cdb = cdb;
        r.sense = sense;
        return !drive.pass_through_direct(r) && r.srb_status == qpx::devices::kSrbSuccess;
    };
    for (int i = 0; i < 200 && !send({0, 0, 0, 0, 0, 0}); ++i) std::this_thread::sleep_for(10ms);

    SteadyClock clock;
    FileSink file(clock, dir / "heard.raw");
    StampingSink sink(file);
    PortLink link;
    std::atomic<bool> mapped{false};
    PlayerEngine engine({clock, sink, link, &PortLink::map_ring, [](std::string_view) {},
                         [&](const PlayerEvent& e) { mapped = mapped || e.kind == PlayerEvent::Kind::ring_mapped; }});
    engine.start();
    while (!mapped) std::this_thread::sleep_for(1ms);

    double worst = 0, total = 0;
    std::mt19937 random(7);
    std::uniform_int_distribution<int> gap(0, 300'000);
    for (auto _ : state) {
        sink.arm();
        const auto sent = std::chrono::steady_clock::now();
        if (!send({0x47, 0, 0, 0, 2, 0, 0, 5, 74, 0})) {
            state.SkipWithError("PLAY AUDIO MSF failed");
            break;
        }
        std::optional<std::chrono::steady_clock::time_point> first;
        while (!(first = sink.first()) && std::chrono::steady_clock::now() - sent < 5s)
            std::this_thread::sleep_for(200us);
        if (!first) {
            state.SkipWithError("no sound within 5 s");
            break;
        }
        const double seconds = std::chrono::duration<double>(*first - sent).count();
        state.SetIterationTime(seconds);
        worst = std::max(worst, seconds);
        total += seconds;
        send({0x1B, 0, 0, 0, 0, 0});  // stop before the next play
        // Lets the next request fall anywhere in the poll interval.
        std::this_thread::sleep_for(std::chrono::microseconds(gap(random)));
    }
    engine.shut_down();
    state.counters["mean_ms"] = state.iterations() ? 1000 * total / static_cast<double>(state.iterations()) : 0;
    state.counters["worst_ms"] = 1000 * worst;
}

}  // namespace

BENCHMARK(FirstSample)->UseManualTime()->Iterations(40)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CpuPerMinute, pcm, std::string())->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(CpuPerMinute, ima_adpcm, std::string("ima-adpcm"))
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

int main(int argc, char** argv) {
#ifdef QPX_BENCH_BIN_DIR
    setenv("QPX_BIN_DIR", QPX_BENCH_BIN_DIR, 0);
#endif
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
