// qpxread: copies the user data of a CD-ROM drive's data track to standard
// output (or a file), through the library, as a program would read the
// disc: emulated drives, attached images and physical drives alike.
//
//   qpxread LETTER [FIRST [COUNT]] [-o FILE]
//
// Without COUNT it reads up to the end of the first data track (from the
// TOC). Waits up to 30 s for a disc that is still being inserted.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "qpxdrv.h"

namespace {

constexpr std::uint32_t kSectorSize = 2048;
constexpr std::uint32_t kChunk = 32;  // sectors per call: 64 KB

int usage() {
    std::fputs("usage: qpxread LETTER [FIRST [COUNT]] [-o FILE]\n", stderr);
    return 2;
}

bool parse(const char* text, std::uint32_t& out) {
    char* end = nullptr;
    unsigned long v = std::strtoul(text, &end, 10);
    if (!end || *end || end == text || v > 0xFFFFFFu) return false;
    out = static_cast<std::uint32_t>(v);
    return true;
}

// The end of the first data track, from the TOC (the next track's start or
// the lead-out).
bool data_track_end(char letter, std::uint32_t& end) {
    std::uint16_t tracks = 0;
    unsigned char summary[6] = {};
    std::vector<unsigned char> records(QPX_TRACK_TABLE_SIZE);
    for (int attempt = 0; attempt < 60; ++attempt) {
        if (QPXGetTOCInfo(letter, &tracks, summary, records.data())) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        tracks = 0;
    }
    if (tracks == 0) return false;
    auto start_of = [&](int i) {
        const unsigned char* r = records.data() + i * QPX_TRACK_NODE_SIZE;
        return static_cast<std::uint32_t>(r[0] | r[1] << 8 | r[2] << 16 | r[3] << 24);
    };
    const std::uint32_t lead_out =
        static_cast<std::uint32_t>(summary[2] | summary[3] << 8 | summary[4] << 16 | summary[5] << 24);
    for (int i = 0; i < tracks && i < QPX_TRACK_NODE_COUNT; ++i) {
        const unsigned char control = records[i * QPX_TRACK_NODE_SIZE + 8];
        if (!(control & 0x40)) continue;
        end = i + 1 < tracks ? start_of(i + 1) : lead_out;
        return end > start_of(i);
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    const char* out_path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc)
            out_path = argv[++i];
        else
            args.push_back(argv[i]);
    }
    if (args.empty() || args.size() > 3 || args[0].empty() || args[0].size() > 2) return usage();
    const char letter = args[0][0];
    std::uint32_t first = 0, count = 0;
    if (args.size() > 1 && !parse(args[1].c_str(), first)) return usage();
    if (args.size() > 2 && !parse(args[2].c_str(), count)) return usage();
    if (args.size() <= 2) {
        std::uint32_t end = 0;
        if (!data_track_end(letter, end)) {
            std::fprintf(stderr, "qpxread: %c: has no readable data track\n", letter);
            return 1;
        }
        count = end > first ? end - first : 0;
    }

    std::FILE* out = out_path ? std::fopen(out_path, "wb") : stdout;
    if (!out) {
        std::perror(out_path);
        return 1;
    }
    std::vector<unsigned char> buf(kChunk * kSectorSize);
    for (std::uint32_t done = 0; done < count;) {
        const std::uint32_t n = std::min(kChunk, count - done);
        if (!QPXReadSectorsFromCD(letter, first + done, n, buf.data(), 1)) {
            std::fprintf(stderr, "qpxread: %c: sectors %u..%u cannot be read\n", letter, first + done,
                         first + done + n - 1);
            if (out_path) std::fclose(out), std::remove(out_path);
            return 1;
        }
        if (std::fwrite(buf.data(), kSectorSize, n, out) != n) {
            std::perror(out_path ? out_path : "stdout");
            if (out_path) std::fclose(out), std::remove(out_path);
            return 1;
        }
        done += n;
    }
    if (out_path && std::fclose(out) != 0) {
        std::perror(out_path);
        std::remove(out_path);
        return 1;
    }
    return 0;
}
