// qpxcatalogue: looks at and changes the container catalogue and the
// per-drive container list of the machine under $QPX_ROOT, through the
// library's calls.
//
//   qpxcatalogue list                 every record with its number
//   qpxcatalogue add RECORD           "path,letter,modifiers,key,start application"
//   qpxcatalogue delete N
//   qpxcatalogue find PATH            the number of the record for PATH
//   qpxcatalogue drives               the per-drive container list, one line a drive
//   qpxcatalogue set-drives COUNT     records a new number of emulated drives
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "qpxdrv.h"

namespace {

int usage() {
    std::fputs(
        "usage: qpxcatalogue list | add RECORD | delete N | find PATH | drives | set-drives COUNT\n"
        "  RECORD is \"path,letter,modifiers,key,start application\"\n",
        stderr);
    return 2;
}

bool parse_number(const char* text, long& out) {
    char* end = nullptr;
    out = std::strtol(text, &end, 10);
    return end && *end == '\0' && end != text;
}

int list() {
    const int count = QPXGetNumberOfContainers();
    int shown = 0;
    for (int n = 1; n <= count; ++n) {
        std::string buf(4096, '\0');
        int r = QPXGetContainerIndex(n, buf.data(), static_cast<uint32_t>(buf.size()));
        if (r == 1) {
            std::printf("%4d  (record too long to show)\n", n);
            continue;
        }
        if (r != 0) continue;
        std::printf("%4d  %s\n", n, buf.c_str());
        ++shown;
    }
    std::printf("%d container(s)\n", shown);
    return 0;
}

int drives() {
    std::string list(65536, '\0');
    int r = QPXGetContainerFiles(list.data(), static_cast<uint32_t>(list.size()));
    if (r == 2 || r == 3) {
        std::puts("no drive list");
        return 0;
    }
    if (r != 0) {
        std::fputs("qpxcatalogue: the drive list cannot be read\n", stderr);
        return 1;
    }
    list.resize(std::strlen(list.c_str()));
    // One entry per drive, each ended by ";" (a last one without it counts too).
    int entries = 0;
    for (char c : list) entries += c == ';';
    if (!list.empty() && list.back() != ';') ++entries;
    std::string entry(4096, '\0');
    for (int k = 0; k < entries; ++k) {
        if (!QPXGetContainerFromPosition(list.c_str(), k, entry.data(), static_cast<uint32_t>(entry.size())))
            break;
        std::printf("drive %d: %s\n", k, entry[0] ? entry.c_str() : "(empty)");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string cmd = argv[1];
    if (cmd == "list" && argc == 2) return list();
    if (cmd == "drives" && argc == 2) return drives();
    if (cmd == "add" && argc == 3) {
        int n = QPXAddContainer(argv[2]);
        if (n < 1) {
            std::fprintf(stderr,
                         "qpxcatalogue: the record was not added (a path must not be empty or hold \",\" or "
                         "\";\", and the catalogue must be writable)\n");
            return 1;
        }
        std::printf("%d\n", n);
        return 0;
    }
    long n = 0;
    if (cmd == "delete" && argc == 3 && parse_number(argv[2], n)) {
        int r = QPXDeleteContainer(static_cast<int>(n));
        if (r != 0) std::fprintf(stderr, "qpxcatalogue: record %ld was not deleted (result %d)\n", n, r);
        return r == 0 ? 0 : 1;
    }
    if (cmd == "find" && argc == 3) {
        int found = QPXGetContainerIndexNumber(argv[2]);
        if (!found) {
            std::fprintf(stderr, "qpxcatalogue: %s is not in the catalogue\n", argv[2]);
            return 1;
        }
        std::printf("%d\n", found);
        return 0;
    }
    if (cmd == "set-drives" && argc == 3 && parse_number(argv[2], n) && n > 0) {
        int r = QPXChangeNumberOfDrives(static_cast<uint32_t>(n), 0);
        if (r != 0) std::fprintf(stderr, "qpxcatalogue: the drive count was not written (result %d)\n", r);
        return r == 0 ? 0 : 1;
    }
    return usage();
}
