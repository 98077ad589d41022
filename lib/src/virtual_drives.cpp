// Finding the emulated drives among the machine's drive letters: the ports
// that qpxmport drives, the letters on them, and drive numbers.
#include "virtual_drives.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "catalogue_store.h"
#include "drive_list_text.h"
#include "qpxdrv.h"

namespace qpx::lib {
namespace {

constexpr const char* kDriverName = "qpxmport";
// Letters fit a 28-byte buffer with room to spare: 26 letters and a NUL.
constexpr int kMaxLetters = 26;
constexpr int kTargetsPerBus = 8;
constexpr int kControllerUnits = 8;

std::uint32_t mask_of(const std::vector<VirtualLetter>& letters) {
    std::uint32_t mask = 0xFFFFFFFFu;
    for (const auto& v : letters) mask &= ~(1u << (v.letter - 'A'));
    return mask;
}

}  // namespace

std::vector<int> port_host_ports() {
    std::vector<int> out;
    for (const auto& p : drives::scsi_ports())
        if (p.driver == kDriverName) out.push_back(p.number);
    std::sort(out.begin(), out.end());
    return out;
}

int drive_number(const std::vector<int>& ports, const drives::ScsiAddress& a) {
    const auto it = std::find(ports.begin(), ports.end(), a.port);
    if (it == ports.end() || a.target >= kTargetsPerBus || a.lun != 0) return -1;
    const int on_port = a.path_id * kTargetsPerBus + a.target - kControllerUnits;
    if (on_port < 0 || on_port >= kDrivesPerPort) return -1;
    return static_cast<int>(it - ports.begin()) * kDrivesPerPort + on_port;
}

std::optional<drives::ScsiAddress> drive_address(const std::vector<int>& ports, int drive) {
    if (drive < 0) return std::nullopt;
    const std::size_t adapter = static_cast<std::size_t>(drive / kDrivesPerPort);
    if (adapter >= ports.size()) return std::nullopt;
    const int on_port = drive % kDrivesPerPort;
    return drives::ScsiAddress{static_cast<std::uint8_t>(ports[adapter]),
                               static_cast<std::uint8_t>(on_port / kTargetsPerBus + 1),
                               static_cast<std::uint8_t>(on_port % kTargetsPerBus), 0};
}

std::vector<VirtualLetter> virtual_letters(const std::vector<int>& ports) {
    std::vector<VirtualLetter> out;
    if (ports.empty()) return out;
    for (const auto& e : drives::all_entries()) {
        if (e.type != drives::DriveType::CdRom || !e.scsi) continue;
        const int drive = drive_number(ports, *e.scsi);
        if (drive >= 0) out.push_back({e.letter, drive});
    }
    return out;
}

}  // namespace qpx::lib

using namespace qpx::lib;

extern "C" {

int QPXGetVersionInfo(void) { return 3; }

int QPXGetNTScsiPort(void) {
    const auto ports = port_host_ports();
    return ports.empty() ? -1 : ports.front();
}

int32_t QPXGetDriveMask(void) { return static_cast<int32_t>(mask_of(virtual_letters(port_host_ports()))); }

int32_t QPXGetDriveLetters(char* buffer, int mode) {
    if (!buffer) return -1;
    buffer[0] = '\0';
    const auto letters = virtual_letters(port_host_ports());
    if (letters.empty()) return -1;
    const std::uint32_t mask = mask_of(letters);

    std::string out;
    if (mode == 0) {
        for (const auto& v : letters) out += v.letter;
    } else if (mode == 1) {
        // A letter counts as holding a container when its own drive's entry
        // is mounted (drive numbers, not letter positions, index the list).
        std::string list;
        read_text("ContainerFiles", list);
        for (const auto& v : letters) {
            auto entry = list_entry(list, v.drive);
            if (entry && entry_is_mounted(*entry)) out += v.letter;
        }
    } else if (mode == 2) {
        // Drives beyond the letters' room have no place in the buffer.
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
