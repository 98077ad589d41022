#include "cdrom/drive_registration.h"

#include <cdio/cdio.h>

#include <algorithm>
#include <set>

#include "cdrom/cdio_quiet.h"
#include "cdrom/drive_kind.h"
#include "cdrom/drive_opener.h"

namespace qpx::cdrom {
namespace fs = std::filesystem;

namespace {

std::string letter_name(char letter) { return std::string(1, letter) + ":"; }

bool publish_cdrom(char letter, const std::string& device, std::string& error) {
    drives::DriveEntry entry;
    entry.letter = letter;
    entry.type = drives::DriveType::CdRom;
    entry.device = device;
    if (drives::publish(entry) != reg::kSuccess) {
        error = "the drive-letter table cannot be written";
        return false;
    }
    return true;
}

}  // namespace

std::vector<drives::DriveEntry> cdrom_drives() {
    std::vector<drives::DriveEntry> out;
    for (auto& e : drives::all_entries())
        if (e.type == drives::DriveType::CdRom) out.push_back(std::move(e));
    return out;
}

bool attach_image(const fs::path& image, std::optional<char> letter, char& attached, std::string& error) {
    std::error_code ec;
    const fs::path absolute = fs::weakly_canonical(fs::absolute(image, ec), ec);
    if (ec || !fs::is_regular_file(absolute, ec)) {
        error = image.string() + ": no such image file";
        return false;
    }
    const std::string device = absolute.string();
    const DriveKind kind = kind_of_device(device);
    if (kind != DriveKind::Image && kind != DriveKind::FaultPlan) {
        error = device + ": not a disc image (expected .cue, .toc, .nrg or a fault plan)";
        return false;
    }
    // The letter goes only to an image that can be read.
    OpenedDrive drive;
    Toc toc;
    if (!open_device(device, drive, error)) return false;
    if (kind == DriveKind::Image && drive.disc->read_toc(toc) != ReadStatus::Ok) {
        error = device + ": the table of contents cannot be read";
        return false;
    }
    for (const auto& e : cdrom_drives()) {
        if (e.device == device) {
            error = device + " is attached already as " + letter_name(e.letter);
            return false;
        }
    }
    char chosen;
    if (letter) {
        chosen = drives::normalise_letter(*letter);
        if (!chosen) {
            error = std::string("'") + *letter + "' is not a drive letter";
            return false;
        }
        if (auto taken = drives::entry(chosen)) {
            error = letter_name(chosen) + " is in use" + (taken->device.empty() ? "" : " by " + taken->device);
            return false;
        }
    } else {
        auto free = drives::first_free_letter(kFirstDiscLetter);
        if (!free) {
            error = "no drive letter is free";
            return false;
        }
        chosen = *free;
    }
    if (!publish_cdrom(chosen, device, error)) return false;
    attached = chosen;
    return true;
}

bool detach_drive(char letter, std::string& error) {
    const char normal = drives::normalise_letter(letter);
    if (!normal) {
        error = std::string("'") + letter + "' is not a drive letter";
        return false;
    }
    auto entry = drives::entry(normal);
    if (!entry || entry->type != drives::DriveType::CdRom) {
        error = letter_name(normal) + " is no CD-ROM drive";
        return false;
    }
    if (kind_of_device(entry->device) == DriveKind::Emulated) {
        error = letter_name(normal) + " is an emulated drive of the port host; eject its container instead";
        return false;
    }
    if (drives::withdraw(normal) != reg::kSuccess) {
        error = "the drive-letter table cannot be written";
        return false;
    }
    return true;
}

ScanResult register_physical_drives(const std::vector<std::string>& devices) {
    ScanResult result;
    const std::set<std::string> present(devices.begin(), devices.end());
    std::set<std::string> lettered;
    for (const auto& e : cdrom_drives()) {
        if (kind_of_device(e.device) != DriveKind::Physical) continue;
        if (present.count(e.device)) {
            lettered.insert(e.device);
        } else if (drives::withdraw(e.letter) == reg::kSuccess) {
            result.removed.push_back(e);
        }
    }
    for (const std::string& device : devices) {
        if (lettered.count(device)) continue;
        auto free = drives::first_free_letter(kFirstDiscLetter);
        std::string error;
        if (!free || !publish_cdrom(*free, device, error)) {
            result.without_letter.push_back(device);
            continue;
        }
        lettered.insert(device);
        result.added.push_back(*drives::entry(*free));
    }
    return result;
}

std::vector<std::string> physical_drive_devices() {
    quiet_libcdio();
    std::vector<std::string> out;
    char** list = cdio_get_devices(DRIVER_LINUX);
    if (!list) return out;
    for (char** p = list; *p; ++p) {
        std::error_code ec;
        fs::path resolved = fs::canonical(*p, ec);
        std::string device = ec ? std::string(*p) : resolved.string();
        if (std::find(out.begin(), out.end(), device) == out.end()) out.push_back(device);
    }
    cdio_free_device_list(list);
    return out;
}

}  // namespace qpx::cdrom
