// Finding the emulated drives among the machine's drive letters: the port
// that qpxmport drives, the letters on it, and drive numbers.
#include <cstring>
#include <string>

#include "catalogue_store.h"
#include "drive_list_text.h"
#include "drives/drive_letters.h"
#include "qpxdrv.h"

namespace {

constexpr const char* kDriverName = "qpxmport";
// Letters fit a 28-byte buffer with room to spare: 26 letters and a NUL.
constexpr int kMaxLetters = 26;

// Drive number of an emulated drive's SCSI address: bus 1 target 0 is drive 0.
int drive_number(const qpx::drives::ScsiAddress& a) { return a.path_id * 8 + a.target - 8; }

// Letters of the emulated drives, each with its drive number, in letter order.
struct VirtualLetter {
    char letter;
    int drive;
};

std::vector<VirtualLetter> virtual_letters(int port) {
    std::vector<VirtualLetter> out;
    if (port < 0) return out;
    for (const auto& e : qpx::drives::all_entries()) {
        if (e.type != qpx::drives::DriveType::CdRom || !e.scsi || e.scsi->port != port) continue;
        out.push_back({e.letter, drive_number(*e.scsi)});
    }
    return out;
}

}  // namespace

extern "C" {

int QPXGetVersionInfo(void) { return 3; }

int QPXGetNTScsiPort(void) {
    for (const auto& p : qpx::drives::scsi_ports())
        if (p.driver == kDriverName) return p.number;
    return -1;
}

int32_t QPXGetDriveMask(void) {
    uint32_t mask = 0xFFFFFFFFu;
    for (const auto& v : virtual_letters(QPXGetNTScsiPort())) mask &= ~(1u << (v.letter - 'A'));
    return static_cast<int32_t>(mask);
}

int32_t QPXGetDriveLetters(char* buffer, int mode) {
    if (!buffer) return -1;
    buffer[0] = '\0';
    const auto letters = virtual_letters(QPXGetNTScsiPort());
    if (letters.empty()) return -1;
    uint32_t mask = 0xFFFFFFFFu;
    for (const auto& v : letters) mask &= ~(1u << (v.letter - 'A'));

    std::string out;
    if (mode == 0) {
        for (const auto& v : letters) out += v.letter;
    } else if (mode == 1) {
        // A letter counts as holding a container when its own drive's entry
        // is mounted (drive numbers, not letter positions, index the list).
        std::string list;
        qpx::lib::read_text("ContainerFiles", list);
        for (const auto& v : letters) {
            auto entry = qpx::lib::list_entry(list, v.drive);
            if (entry && qpx::lib::entry_is_mounted(*entry)) out += v.letter;
        }
    } else if (mode == 2) {
        char by_drive[kMaxLetters + 1] = {};
        for (const auto& v : letters)
            if (v.drive >= 0 && v.drive < kMaxLetters) by_drive[v.drive] = v.letter;
        out = by_drive;  // a drive without a letter ends the string there
    }
    std::memcpy(buffer, out.c_str(), out.size() + 1);
    return static_cast<int32_t>(mask);
}

int QPXGetDriveUnit(char letter) {
    letter = qpx::drives::normalise_letter(letter);
    if (!letter) return -1;
    char letters[32];
    if (QPXGetDriveLetters(letters, 2) == -1) return -1;
    const char* hit = std::strchr(letters, letter);
    return hit ? static_cast<int>(hit - letters) : -1;
}

}  // extern "C"
