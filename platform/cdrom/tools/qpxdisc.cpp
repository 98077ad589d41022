// qpxdisc: CD-ROM drive letters for physical drives and disc images.
//
//   qpxdisc attach IMAGE [LETTER]   attach a disc image (.cue, .toc, .nrg, .qpxfaults) read-only
//   qpxdisc detach LETTER           take an image's or a physical drive's letter back
//   qpxdisc list                    the CD-ROM drives and what serves each
//   qpxdisc scan                    give the machine's physical drives letters
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cdrom/drive_kind.h"
#include "cdrom/drive_registration.h"

namespace {

int usage() {
    std::fputs(
        "usage: qpxdisc attach IMAGE [LETTER]\n"
        "       qpxdisc detach LETTER\n"
        "       qpxdisc list\n"
        "       qpxdisc scan\n",
        stderr);
    return 2;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "qpxdisc: %s\n", message.c_str());
    return 1;
}

// "G", "g" or "G:" names a letter.
std::optional<char> letter_argument(const std::string& arg) {
    if (arg.size() == 1 || (arg.size() == 2 && arg[1] == ':')) return arg[0];
    return std::nullopt;
}

int attach(const std::vector<std::string>& args) {
    if (args.empty() || args.size() > 2) return usage();
    std::optional<char> letter;
    if (args.size() == 2) {
        letter = letter_argument(args[1]);
        if (!letter) return fail("'" + args[1] + "' is not a drive letter");
    }
    char attached = 0;
    std::string error;
    if (!qpx::cdrom::attach_image(args[0], letter, attached, error)) return fail(error);
    std::printf("%c:\n", attached);
    return 0;
}

int detach(const std::vector<std::string>& args) {
    if (args.size() != 1) return usage();
    auto letter = letter_argument(args[0]);
    if (!letter) return fail("'" + args[0] + "' is not a drive letter");
    std::string error;
    return qpx::cdrom::detach_drive(*letter, error) ? 0 : fail(error);
}

int list() {
    for (const auto& e : qpx::cdrom::cdrom_drives())
        std::printf("%c: %s (%s)\n", e.letter, e.device.c_str(),
                    qpx::cdrom::to_string(qpx::cdrom::kind_of_device(e.device)));
    return 0;
}

int scan() {
    const auto result = qpx::cdrom::register_physical_drives(qpx::cdrom::physical_drive_devices());
    for (const auto& e : result.added) std::printf("%c: %s (new)\n", e.letter, e.device.c_str());
    for (const auto& e : result.removed) std::printf("%c: %s (gone)\n", e.letter, e.device.c_str());
    for (const auto& d : result.without_letter) std::fprintf(stderr, "qpxdisc: no free letter for %s\n", d.c_str());
    return result.without_letter.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "attach") return attach(args);
    if (command == "detach") return detach(args);
    if (command == "list" && args.empty()) return list();
    if (command == "scan" && args.empty()) return scan();
    return usage();
}
