#include "host_config.h"

#include "registry/registry.h"

namespace qpx::host {
namespace {

using reg::Hive;

char letter_value(const reg::Key& key, char fallback) {
    std::string text;
    if (key.query_string("FirstDriveLetter", text) == reg::kSuccess && !text.empty()) {
        char c = text[0];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c >= 'A' && c <= 'Z') return c;
    }
    return fallback;
}

}  // namespace

std::optional<HostConfig> read_host_config(std::string& error) {
    HostConfig config;
    reg::Key key;
    const reg::Status st = reg::Key::open(Hive::LocalMachine, kServiceKey, reg::Access::Read, key);
    if (st != reg::kSuccess && st != reg::kFileNotFound) {
        error = "the registry cannot be read (status " + std::to_string(st) + ")";
        return std::nullopt;
    }
    if (st == reg::kSuccess) {
        // Value names compare ignoring case: the library writes "NumberOfCDROMs".
        if (key.query_dword("NumberofCDROMs", config.drive_count) != reg::kSuccess) config.drive_count = 0;
        if (key.query_dword("SizeofBufPool", config.buffer_sets) != reg::kSuccess) config.buffer_sets = 0;
        config.first_letter = letter_value(key, config.first_letter);
    }
    if (config.drive_count == 0) {
        error = "no emulated drives configured (NumberofCDROMs is 0 or missing under HKLM\\" +
                std::string(kServiceKey) + ")";
        return std::nullopt;
    }
    if (config.drive_count > kMaxDrives) {
        error = "NumberofCDROMs " + std::to_string(config.drive_count) + " is more than the " +
                std::to_string(kMaxDrives) + " drives a port host serves";
        return std::nullopt;
    }
    return config;
}

}  // namespace qpx::host
