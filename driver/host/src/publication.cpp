#include "publication.h"

#include <algorithm>
#include <set>

#include "drives/drive_letters.h"
#include "log.h"
#include "qpx/driver/adapter_layout.h"

namespace qpx::host {

void remove_stale_publication() {
    for (const auto& e : drives::all_entries())
        if (e.device == kDriverName) drives::withdraw(e.letter);
    for (const auto& p : drives::scsi_ports())
        if (p.driver == kDriverName) drives::withdraw_scsi_port(p.number);
}

std::vector<int> free_port_numbers(std::size_t count) {
    std::set<int> used;
    for (const auto& p : drives::scsi_ports()) used.insert(p.number);
    std::vector<int> out;
    for (int n = 0; out.size() < count && n <= 255; ++n)
        if (!used.contains(n)) out.push_back(n);
    return out;
}

bool Publication::publish(const std::vector<PublishedPort>& ports, char first_letter, std::string& error) {
    for (const auto& port : ports) {
        if (reg::Status st = drives::publish_scsi_port(port.number, kDriverName); st != reg::kSuccess) {
            error = "publishing SCSI port " + std::to_string(port.number) + " failed (status " + std::to_string(st) + ")";
            return false;
        }
        ports_.push_back(port.number);
    }
    char from = first_letter;
    for (const auto& port : ports) {
        for (std::uint32_t drive = 0; drive < port.drive_count; ++drive) {
            const auto letter = drives::first_free_letter(from);
            if (!letter) {
                log_info("no drive letters left; further drives are reachable through their port only");
                return true;
            }
            const driver::ScsiAddress a = driver::address_of_drive(drive);
            drives::DriveEntry entry{*letter, drives::DriveType::CdRom,
                                     drives::ScsiAddress{static_cast<std::uint8_t>(port.number), a.bus, a.target, 0},
                                     kDriverName};
            if (reg::Status st = drives::publish(entry); st != reg::kSuccess) {
                error = std::string("publishing drive letter ") + *letter + ": failed (status " + std::to_string(st) + ")";
                return false;
            }
            letters_.push_back(*letter);
            if (*letter == 'Z') return true;
            from = static_cast<char>(*letter + 1);
        }
    }
    return true;
}

void Publication::withdraw() {
    for (char letter : std::exchange(letters_, {})) drives::withdraw(letter);
    for (int port : std::exchange(ports_, {})) drives::withdraw_scsi_port(port);
}

}  // namespace qpx::host
