// Sector reads from containers made of a real ISO image: random 2 KB reads
// from types 0, 1 and 6, and sequential reads from a plain container against
// a plain pread loop over the ISO itself.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "qpx/container/sector_reader.h"
#include "qpx/container_writer/container_writer.h"
#include "support/iso_fixture.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
namespace qc = qpx::container;
namespace cw = qpx::container_writer;

struct Containers {
    qpx::testing::TempDir dir{"bench"};
    std::uint32_t sectors = 0;
    std::map<int, std::shared_ptr<const qc::Container>> by_type;
};

// Containers of types 0, 1 and 6 over the shared ISO image, made once.
Containers& containers() {
    static Containers all;
    static const bool made = [] {
        Containers& c = all;
        cw::FileSectorSource iso(qpx::testing::shared_iso_image(), qc::kUserSectorSize);
        c.sectors = iso.sector_count();
        for (qc::ContainerType type :
             {qc::ContainerType::plain, qc::ContainerType::normal_blocks, qc::ContainerType::maximal_blocks}) {
            cw::ContainerPlan plan;
            plan.type = type;
            plan.sectors = &iso;
            const fs::path path = c.dir / ("type" + std::to_string(int(type)) + ".qim");
            cw::write_container(plan, path);
            std::shared_ptr<const qc::Container> opened;
            if (qc::Container::open(path, opened)) std::abort();
            c.by_type[int(type)] = opened;
        }
        return true;
    }();
    (void)made;
    return all;
}

void BM_RandomSectorRead(benchmark::State& state) {
    Containers& c = containers();
    qc::SectorReader reader(c.by_type.at(static_cast<int>(state.range(0))));
    std::mt19937 random(12345);
    std::uniform_int_distribution<std::uint32_t> pick(16, c.sectors - 1);
    std::array<std::uint8_t, qc::kUserSectorSize> out{};
    for (auto _ : state) {
        if (reader.read(pick(random), out)) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(qc::kUserSectorSize));
}
BENCHMARK(BM_RandomSectorRead)->ArgName("type")->Arg(0)->Arg(1)->Arg(6);

// One pass over every stored sector, `range(1)` sectors per call.
void BM_SequentialContainer(benchmark::State& state) {
    Containers& c = containers();
    qc::SectorReader reader(c.by_type.at(static_cast<int>(state.range(0))));
    const auto per_call = static_cast<std::uint32_t>(state.range(1));
    std::vector<std::uint8_t> out(per_call * qc::kUserSectorSize);
    std::int64_t bytes = 0;
    for (auto _ : state) {
        for (std::uint32_t s = 16; s + per_call <= c.sectors; s += per_call) {
            if (reader.read_many(s, out)) state.SkipWithError("read failed");
            benchmark::DoNotOptimize(out.data());
            bytes += static_cast<std::int64_t>(out.size());
        }
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_SequentialContainer)->ArgNames({"type", "sectors"})->Args({0, 1})->Args({0, 16})->Args({1, 1})->Args({6, 1})
    ->Unit(benchmark::kMillisecond);

// The same pass as plain preads over the ISO file.
void BM_SequentialIsoPread(benchmark::State& state) {
    Containers& c = containers();
    const int fd = ::open(qpx::testing::shared_iso_image().c_str(), O_RDONLY | O_CLOEXEC);
    const auto per_call = static_cast<std::uint32_t>(state.range(0));
    std::vector<std::uint8_t> out(per_call * qc::kUserSectorSize);
    std::int64_t bytes = 0;
    for (auto _ : state) {
        for (std::uint32_t s = 16; s + per_call <= c.sectors; s += per_call) {
            if (::pread(fd, out.data(), out.size(), static_cast<off_t>(s) * qc::kUserSectorSize) !=
                static_cast<ssize_t>(out.size()))
                state.SkipWithError("pread failed");
            benchmark::DoNotOptimize(out.data());
            bytes += static_cast<std::int64_t>(out.size());
        }
    }
    ::close(fd);
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_SequentialIsoPread)->ArgName("sectors")->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
