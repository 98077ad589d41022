// Block codecs on a real ISO image, 32 KB block by block: the normal format
// (decoder and compressor) against zlib at level 9 ("maximal") and level 6, with
// memcpy of the same bytes as the limit.
//
// The image: the file named by QPX_BENCH_ISO, else one made at start with
// `xorriso -as mkisofs` over /usr/share/doc, /usr/lib/python3 and two compiler
// binaries (about 200 MB), removed at exit.
//
// Decode benchmarks run over the blocks as a reader meets them: a block a
// codec compressed is decoded, a block it stored is copied. The "Compressed"
// variants decode only the blocks that both codecs compressed, each codec its
// own stream of the same blocks. Throughput is uncompressed bytes per second.
// Size counters: bytes as stored in a container (2-byte head, the compressed
// form only when shorter) relative to the image and to zlib level 6.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <span>
#include <string>
#include <vector>

#include "qpx/codec/codec.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kBlock = 32768;

struct Encoded {
    std::vector<Bytes> streams;    // per block: the compressed stream, or empty when stored
    std::size_t stored_bytes = 0;  // container bytes: heads + payloads
};

struct Corpus {
    fs::path iso;
    bool made = false;
    Bytes image;
    std::size_t blocks = 0;
    Encoded normal, zlib9, zlib6;
    std::vector<std::size_t> both;  // blocks compressed by normal and zlib9

    std::span<const std::uint8_t> block(std::size_t k) const {
        const std::size_t off = k * kBlock;
        return std::span(image).subspan(off, std::min(kBlock, image.size() - off));
    }

    ~Corpus() {
        if (made) {
            std::error_code ec;
            fs::remove_all(iso.parent_path(), ec);
        }
    }
};

Bytes read_all(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    Bytes b(fs::file_size(p));
    f.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(b.size()));
    if (!f) {
        std::cerr << "codec_bench: cannot read " << p << "\n";
        std::exit(1);
    }
    return b;
}

Encoded encode_zlib(const Corpus& c, int level) {
    Encoded e;
    Bytes tmp(compressBound(kBlock));
    for (std::size_t k = 0; k < c.blocks; ++k) {
        const auto b = c.block(k);
        std::size_t n = tmp.size();
        if (qpx::codec::zlib_compress(tmp.data(), &n, b.data(), b.size(), level) != Z_OK) std::abort();
        if (n < b.size()) {
            e.streams.emplace_back(tmp.begin(), tmp.begin() + n);
            e.stored_bytes += 2 + n;
        } else {
            e.streams.emplace_back();
            e.stored_bytes += 2 + b.size();
        }
    }
    return e;
}

Encoded encode_normal(const Corpus& c) {
    Encoded e;
    qpx::codec::NormalCompressor nc;
    Bytes tmp(kBlock + 298);
    Bytes check(kBlock + 300);
    for (std::size_t k = 0; k < c.blocks; ++k) {
        const auto b = c.block(k);
        const std::size_t n = nc.compress(b, tmp);
        if (n < b.size()) {
            e.streams.emplace_back(tmp.begin(), tmp.begin() + n);
            e.stored_bytes += 2 + n;
            // Every block of the image must come back.
            if (qpx::codec::normal_expand(e.streams.back(), check) != static_cast<int>(b.size()) ||
                std::memcmp(check.data(), b.data(), b.size()) != 0) {
                std::cerr << "codec_bench: round trip failed at block " << k << "\n";
                std::exit(1);
            }
        } else {
            e.streams.emplace_back();
            e.stored_bytes += 2 + b.size();
        }
    }
    return e;
}

Corpus& corpus() {
    static Corpus c = [] {
        Corpus c;
        if (const char* env = std::getenv("QPX_BENCH_ISO"); env != nullptr && *env != '\0') {
            c.iso = env;
        } else {
            const char* tmp = std::getenv("TMPDIR");
            fs::path dir = fs::path(tmp && *tmp ? tmp : "/tmp") / ("qpx-codec-bench-" + std::to_string(::getpid()));
            fs::create_directories(dir);
            c.iso = dir / "bench.iso";
            c.made = true;
            std::string cmd = "xorriso -as mkisofs -quiet -R -J -graft-points -o '" + c.iso.string() + "'";
            for (const char* g : {"doc=/usr/share/doc", "python3=/usr/lib/python3",
                                  "gcc/cc1=/usr/lib/gcc/x86_64-linux-gnu/12/cc1",
                                  "gcc/cc1plus=/usr/lib/gcc/x86_64-linux-gnu/12/cc1plus"}) {
                const std::string src = std::strchr(g, '=') + 1;
                if (fs::exists(src)) cmd += std::string(" '") + g + "'";
            }
            cmd += " >/dev/null 2>&1";
            if (std::system(cmd.c_str()) != 0 || !fs::exists(c.iso)) {
                std::cerr << "codec_bench: xorriso failed: " << cmd << "\n";
                std::exit(1);
            }
        }
        c.image = read_all(c.iso);
        c.blocks = (c.image.size() + kBlock - 1) / kBlock;
        std::cerr << "codec_bench: image " << c.iso << ", " << c.image.size() / 1e6 << " MB, " << c.blocks
                  << " blocks; encoding...\n";
        c.normal = encode_normal(c);
        c.zlib9 = encode_zlib(c, 9);
        c.zlib6 = encode_zlib(c, 6);
        for (std::size_t k = 0; k < c.blocks; ++k) {
            if (!c.normal.streams[k].empty() && !c.zlib9.streams[k].empty()) c.both.push_back(k);
        }
        return c;
    }();
    return c;
}

void size_counters(benchmark::State& state) {
    const Corpus& c = corpus();
    const double raw = static_cast<double>(c.image.size());
    const double z6 = static_cast<double>(c.zlib6.stored_bytes);
    state.counters["image_MB"] = raw / 1e6;
    state.counters["normal_vs_zlib6"] = static_cast<double>(c.normal.stored_bytes) / z6;
    state.counters["zlib9_vs_zlib6"] = static_cast<double>(c.zlib9.stored_bytes) / z6;
    state.counters["normal_vs_image"] = static_cast<double>(c.normal.stored_bytes) / raw;
    state.counters["zlib9_vs_image"] = static_cast<double>(c.zlib9.stored_bytes) / raw;
    state.counters["zlib6_vs_image"] = z6 / raw;
    state.counters["both_compressed_blocks"] = static_cast<double>(c.both.size()) / static_cast<double>(c.blocks);
}

// ---- decode -----------------------------------------------------------------

void BM_Memcpy(benchmark::State& state) {
    const Corpus& c = corpus();
    Bytes out(kBlock);
    for (auto _ : state) {
        for (std::size_t k = 0; k < c.blocks; ++k) {
            const auto b = c.block(k);
            std::memcpy(out.data(), b.data(), b.size());
            benchmark::DoNotOptimize(out.data());
            benchmark::ClobberMemory();
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.image.size()));
}

void BM_NormalDecode(benchmark::State& state) {
    const Corpus& c = corpus();
    Bytes out(kBlock + 300);
    for (auto _ : state) {
        for (std::size_t k = 0; k < c.blocks; ++k) {
            const Bytes& s = c.normal.streams[k];
            if (s.empty()) {
                const auto b = c.block(k);
                std::memcpy(out.data(), b.data(), b.size());
            } else if (qpx::codec::normal_expand(s, out) < 0) {
                state.SkipWithError("decode failed");
            }
            benchmark::DoNotOptimize(out.data());
            benchmark::ClobberMemory();
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.image.size()));
    size_counters(state);
}

void zlib_decode(benchmark::State& state, const Encoded& e) {
    const Corpus& c = corpus();
    Bytes out(kBlock);
    for (auto _ : state) {
        for (std::size_t k = 0; k < c.blocks; ++k) {
            const Bytes& s = e.streams[k];
            if (s.empty()) {
                const auto b = c.block(k);
                std::memcpy(out.data(), b.data(), b.size());
            } else {
                std::size_t n = out.size();
                if (qpx::codec::zlib_uncompress(out.data(), &n, s.data(), s.size()) != Z_OK) {
                    state.SkipWithError("inflate failed");
                }
            }
            benchmark::DoNotOptimize(out.data());
            benchmark::ClobberMemory();
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.image.size()));
}
void BM_ZlibInflate9(benchmark::State& state) { zlib_decode(state, corpus().zlib9); }
void BM_ZlibInflate6(benchmark::State& state) { zlib_decode(state, corpus().zlib6); }

void BM_NormalDecodeCompressed(benchmark::State& state) {
    const Corpus& c = corpus();
    Bytes out(kBlock + 300);
    std::size_t bytes = 0;
    for (std::size_t k : c.both) bytes += c.block(k).size();
    for (auto _ : state) {
        for (std::size_t k : c.both) {
            if (qpx::codec::normal_expand(c.normal.streams[k], out) < 0) state.SkipWithError("decode failed");
            benchmark::DoNotOptimize(out.data());
            benchmark::ClobberMemory();
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

void BM_ZlibInflate9Compressed(benchmark::State& state) {
    const Corpus& c = corpus();
    Bytes out(kBlock);
    std::size_t bytes = 0;
    for (std::size_t k : c.both) bytes += c.block(k).size();
    for (auto _ : state) {
        for (std::size_t k : c.both) {
            const Bytes& s = c.zlib9.streams[k];
            std::size_t n = out.size();
            if (qpx::codec::zlib_uncompress(out.data(), &n, s.data(), s.size()) != Z_OK) {
                state.SkipWithError("inflate failed");
            }
            benchmark::DoNotOptimize(out.data());
            benchmark::ClobberMemory();
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

// ---- encode -----------------------------------------------------------------

void BM_NormalEncode(benchmark::State& state) {
    const Corpus& c = corpus();
    qpx::codec::NormalCompressor nc;
    Bytes out(kBlock + 298);
    for (auto _ : state) {
        for (std::size_t k = 0; k < c.blocks; ++k) {
            benchmark::DoNotOptimize(nc.compress(c.block(k), out));
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.image.size()));
    size_counters(state);
}

void zlib_encode(benchmark::State& state, int level) {
    const Corpus& c = corpus();
    Bytes out(compressBound(kBlock));
    for (auto _ : state) {
        for (std::size_t k = 0; k < c.blocks; ++k) {
            const auto b = c.block(k);
            std::size_t n = out.size();
            benchmark::DoNotOptimize(qpx::codec::zlib_compress(out.data(), &n, b.data(), b.size(), level));
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.image.size()));
}
void BM_ZlibDeflate9(benchmark::State& state) { zlib_encode(state, 9); }
void BM_ZlibDeflate6(benchmark::State& state) { zlib_encode(state, 6); }

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_NormalDecode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ZlibInflate9)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ZlibInflate6)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_NormalDecodeCompressed)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ZlibInflate9Compressed)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_NormalEncode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ZlibDeflate9)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ZlibDeflate6)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
