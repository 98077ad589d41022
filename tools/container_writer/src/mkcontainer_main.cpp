// qpx-mkcontainer: makes a container from an ISO image (2,048-byte sectors).
//
//   qpx-mkcontainer [--type 0|1|2|3|5|6] [--storage 0|1|3|5] [--description TEXT]
//                   [--defect SECTOR]... INPUT.iso OUTPUT.qim
//
// Type 5 holds the image as one data track from sector 0 with the given
// storage; storage 3 stores it as raw mode-1 sectors (disc format 5). A
// --defect marks a sector as unreadable and gives the container a defect map
// (copy method "Korrektur 1", or "Korrektur 2" with storage 3).
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "qpx/container_writer/image_container.h"

namespace {

using namespace qpx::container;
using namespace qpx::container_writer;

int usage() {
    std::fprintf(stderr,
                 "usage: qpx-mkcontainer [--type 0|1|2|3|5|6] [--storage 0|1|3|5] "
                 "[--description TEXT] [--defect SECTOR]... INPUT.iso OUTPUT.qim\n");
    return 2;
}

bool parse_number(const char* text, unsigned long& out) {
    char* end = nullptr;
    out = std::strtoul(text, &end, 0);
    return end && *end == '\0' && end != text;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned long type = 0, storage = 0;
    std::string description;
    std::vector<std::uint32_t> defects;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        unsigned long n = 0;
        if (arg == "--type" && has_value && parse_number(argv[++i], type)) continue;
        if (arg == "--storage" && has_value && parse_number(argv[++i], storage)) continue;
        if (arg == "--description" && has_value) {
            description = argv[++i];
            continue;
        }
        if (arg == "--defect" && has_value && parse_number(argv[++i], n)) {
            defects.push_back(static_cast<std::uint32_t>(n));
            continue;
        }
        if (arg.starts_with("--")) return usage();
        files.push_back(arg);
    }
    const bool known_type = type <= 3 || type == 5 || type == 6;
    const bool known_storage = storage <= 1 || storage == 3 || storage == 5;
    if (files.size() != 2 || !known_type || !known_storage) return usage();

    try {
        write_image_container(files[0], static_cast<ContainerType>(type), static_cast<Storage>(storage), files[1],
                              {description, defects});
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qpx-mkcontainer: %s\n", e.what());
        return 1;
    }
    return 0;
}
