// The catalogue with 10,000 containers: adding them all, finding the last by
// its path and reading every record, each against plain SQLite doing the
// same rows (one autocommit statement per row, WAL) in the same run. The
// counter "x_sqlite" is our time divided by plain SQLite's.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "qpxdrv.h"
#include "support/temp_dir.h"

namespace {

constexpr int kContainers = 10000;

using Clock = std::chrono::steady_clock;

std::string record(int i) { return "/srv/containers/disc" + std::to_string(i) + ".qim,G,0,0,"; }

std::string path(int i) { return "/srv/containers/disc" + std::to_string(i) + ".qim"; }

double seconds_since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// Plain SQLite with the same rows.
struct PlainTable {
    sqlite3* db = nullptr;
    explicit PlainTable(const std::string& file) {
        sqlite3_open(file.c_str(), &db);
        sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                         "CREATE TABLE t(name TEXT PRIMARY KEY COLLATE NOCASE, value TEXT)",
                     nullptr, nullptr, nullptr);
    }
    ~PlainTable() { sqlite3_close(db); }
    void insert_all() {
        sqlite3_stmt* st;
        sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?1, ?2)", -1, &st, nullptr);
        for (int i = 1; i <= kContainers; ++i) {
            std::string name = "Container" + std::to_string(i), value = record(i);
            sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 2, value.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_step(st);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
    }
    int find(const std::string& p) {
        sqlite3_stmt* st;
        sqlite3_prepare_v2(db, "SELECT name FROM t WHERE substr(value, 1, instr(value, ',') - 1) = ?1", -1, &st,
                           nullptr);
        sqlite3_bind_text(st, 1, p.c_str(), -1, SQLITE_TRANSIENT);
        int found = sqlite3_step(st) == SQLITE_ROW;
        sqlite3_finalize(st);
        return found;
    }
    std::size_t read_all() {
        sqlite3_stmt* st;
        sqlite3_prepare_v2(db, "SELECT value FROM t WHERE name=?1", -1, &st, nullptr);
        std::size_t bytes = 0;
        for (int i = 1; i <= kContainers; ++i) {
            std::string name = "Container" + std::to_string(i);
            sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
            if (sqlite3_step(st) == SQLITE_ROW) bytes += sqlite3_column_bytes(st, 0);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        return bytes;
    }
};

void BM_AddAll(benchmark::State& state) {
    double ours = 0, plain = 0;
    for (auto _ : state) {
        qpx::testing::ScopedMachineRoot root;
        auto t = Clock::now();
        for (int i = 1; i <= kContainers; ++i) benchmark::DoNotOptimize(QPXAddContainer(record(i).c_str()));
        ours = seconds_since(t);
        PlainTable table((root.path() / "plain.db").string());
        t = Clock::now();
        table.insert_all();
        plain = seconds_since(t);
        state.SetIterationTime(ours);
    }
    state.counters["x_sqlite"] = ours / plain;
    state.counters["adds_per_s"] = kContainers / ours;
}
BENCHMARK(BM_AddAll)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

void BM_FindLastAndReadAll(benchmark::State& state) {
    qpx::testing::ScopedMachineRoot root;
    for (int i = 1; i <= kContainers; ++i) QPXAddContainer(record(i).c_str());
    PlainTable table((root.path() / "plain.db").string());
    table.insert_all();
    double find_ours = 0, find_plain = 0, read_ours = 0, read_plain = 0;
    for (auto _ : state) {
        auto t = Clock::now();
        benchmark::DoNotOptimize(QPXGetContainerIndexNumber(path(kContainers).c_str()));
        find_ours = seconds_since(t);
        t = Clock::now();
        benchmark::DoNotOptimize(table.find(path(kContainers)));
        find_plain = seconds_since(t);

        t = Clock::now();
        char buf[600];
        std::size_t bytes = 0;
        const int count = QPXGetNumberOfContainers();
        for (int n = 1; n <= count; ++n)
            if (QPXGetContainerIndex(n, buf, sizeof buf) == 0) bytes += std::strlen(buf);
        benchmark::DoNotOptimize(bytes);
        read_ours = seconds_since(t);
        t = Clock::now();
        benchmark::DoNotOptimize(table.read_all());
        read_plain = seconds_since(t);
        state.SetIterationTime(find_ours + read_ours);
    }
    state.counters["find_ms"] = find_ours * 1e3;
    state.counters["find_x_sqlite"] = find_ours / find_plain;
    state.counters["read_all_ms"] = read_ours * 1e3;
    state.counters["read_all_x_sqlite"] = read_ours / read_plain;
}
BENCHMARK(BM_FindLastAndReadAll)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
