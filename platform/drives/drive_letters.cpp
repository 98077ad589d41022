#include "drives/drive_letters.h"

#include <strings.h>

#include <charconv>

namespace qpx::drives {
namespace {

using reg::Access;
using reg::Hive;
using reg::Key;

std::string letter_key(char letter) { return std::string(kDriveLetterKey) + "\\" + letter; }

std::string port_key_name(int port) { return "Scsi Port " + std::to_string(port); }

std::optional<DriveEntry> read_entry(const Key& key, char letter) {
    std::uint32_t type = 0;
    if (key.query_dword("DriveType", type) != reg::kSuccess) return std::nullopt;
    DriveEntry e;
    e.letter = letter;
    e.type = static_cast<DriveType>(type);
    std::uint32_t port, bus, target, lun;
    if (key.query_dword("PortNumber", port) == reg::kSuccess && key.query_dword("PathId", bus) == reg::kSuccess &&
        key.query_dword("TargetId", target) == reg::kSuccess && key.query_dword("Lun", lun) == reg::kSuccess)
        e.scsi = ScsiAddress{static_cast<std::uint8_t>(port), static_cast<std::uint8_t>(bus),
                             static_cast<std::uint8_t>(target), static_cast<std::uint8_t>(lun)};
    key.query_string("Device", e.device);
    return e;
}

}  // namespace

char normalise_letter(char letter) {
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    return letter >= 'A' && letter <= 'Z' ? letter : 0;
}

std::optional<DriveEntry> entry(char letter) {
    letter = normalise_letter(letter);
    if (!letter) return std::nullopt;
    Key key;
    if (Key::open(Hive::LocalMachine, letter_key(letter), Access::Read, key) != reg::kSuccess) return std::nullopt;
    return read_entry(key, letter);
}

std::vector<DriveEntry> all_entries() {
    std::vector<DriveEntry> out;
    Key table;
    if (Key::open(Hive::LocalMachine, kDriveLetterKey, Access::Read, table) != reg::kSuccess) return out;
    std::vector<std::string> names;
    if (table.subkey_names(names) != reg::kSuccess) return out;
    for (const std::string& name : names) {
        if (name.size() != 1 || !normalise_letter(name[0])) continue;
        if (auto e = entry(name[0])) out.push_back(*e);
    }
    return out;
}

std::uint32_t logical_drives() {
    std::uint32_t mask = 0;
    for (const DriveEntry& e : all_entries()) mask |= 1u << (e.letter - 'A');
    return mask;
}

DriveType drive_type(char letter) {
    auto e = entry(letter);
    return e ? e->type : DriveType::NoRootDir;
}

std::optional<ScsiAddress> scsi_address(char letter) {
    auto e = entry(letter);
    return e ? e->scsi : std::nullopt;
}

reg::Status publish(const DriveEntry& drive) {
    char letter = normalise_letter(drive.letter);
    if (!letter) return reg::kInvalidParameter;
    reg::Transaction tx(Hive::LocalMachine);
    Key parent;
    if (reg::Status st = Key::create(Hive::LocalMachine, kDriveLetterKey, parent); st != reg::kSuccess) return st;
    parent.delete_tree(std::string(1, letter));  // a republished letter starts clean
    Key key;
    if (reg::Status st = Key::create(Hive::LocalMachine, letter_key(letter), key); st != reg::kSuccess) return st;
    reg::Status st = key.set_dword("DriveType", static_cast<std::uint32_t>(drive.type));
    if (st == reg::kSuccess && drive.scsi) {
        st = key.set_dword("PortNumber", drive.scsi->port);
        if (st == reg::kSuccess) st = key.set_dword("PathId", drive.scsi->path_id);
        if (st == reg::kSuccess) st = key.set_dword("TargetId", drive.scsi->target);
        if (st == reg::kSuccess) st = key.set_dword("Lun", drive.scsi->lun);
    }
    if (st == reg::kSuccess) st = key.set_string("Device", drive.device);
    if (st != reg::kSuccess) return st;
    return tx.commit();
}

reg::Status withdraw(char letter) {
    letter = normalise_letter(letter);
    if (!letter) return reg::kInvalidParameter;
    Key table;
    if (reg::Status st = Key::open(Hive::LocalMachine, kDriveLetterKey, Access::ReadWrite, table);
        st != reg::kSuccess)
        return st;
    return table.delete_tree(std::string(1, letter));
}

std::optional<char> first_free_letter(char from) {
    from = normalise_letter(from);
    if (!from) return std::nullopt;
    std::uint32_t used = logical_drives();
    for (char c = from; c <= 'Z'; ++c)
        if (!(used & (1u << (c - 'A')))) return c;
    return std::nullopt;
}

reg::Status publish_scsi_port(int port, std::string_view driver) {
    if (port < 0 || port > 255) return reg::kInvalidParameter;
    Key key;
    if (reg::Status st = Key::create(Hive::LocalMachine, std::string(kScsiPortMapKey) + "\\" + port_key_name(port), key);
        st != reg::kSuccess)
        return st;
    return key.set_string("Driver", driver);
}

reg::Status withdraw_scsi_port(int port) {
    Key map;
    if (reg::Status st = Key::open(Hive::LocalMachine, kScsiPortMapKey, Access::ReadWrite, map); st != reg::kSuccess)
        return st;
    return map.delete_tree(port_key_name(port));
}

std::vector<ScsiPort> scsi_ports() {
    std::vector<ScsiPort> out;
    Key map;
    if (Key::open(Hive::LocalMachine, kScsiPortMapKey, Access::Read, map) != reg::kSuccess) return out;
    std::vector<std::string> names;
    if (map.subkey_names(names) != reg::kSuccess) return out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        ScsiPort p;
        // "Scsi Port <n>" names its port; anything else counts by position.
        p.number = static_cast<int>(i);
        constexpr std::string_view prefix = "Scsi Port ";
        const std::string& n = names[i];
        if (n.size() > prefix.size() && strncasecmp(n.c_str(), prefix.data(), prefix.size()) == 0) {
            int v = -1;
            auto [ptr, ec] = std::from_chars(n.data() + prefix.size(), n.data() + n.size(), v);
            if (ec == std::errc() && ptr == n.data() + n.size()) p.number = v;
        }
        std::string driver;
        reg::read_string(Hive::LocalMachine, std::string(kScsiPortMapKey) + "\\" + n, "Driver", driver);
        p.driver = driver;
        out.push_back(p);
    }
    return out;
}

}  // namespace qpx::drives
