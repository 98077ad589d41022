#include "devices/device_name.h"

#include <strings.h>

#include <charconv>

namespace qpx::devices {
namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";
constexpr std::string_view kPortPrefix = "Scsi";

}  // namespace

std::optional<DeviceName> parse_device_name(std::string_view name) {
    if (!name.starts_with(kDevicePrefix)) return std::nullopt;
    name.remove_prefix(kDevicePrefix.size());
    if (!name.ends_with(':')) return std::nullopt;
    name.remove_suffix(1);

    DeviceName out;
    if (name.size() == 1) {
        char c = name[0];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c < 'A' || c > 'Z') return std::nullopt;
        out.kind = DeviceName::Kind::drive;
        out.letter = c;
        return out;
    }
    if (name.size() <= kPortPrefix.size() || strncasecmp(name.data(), kPortPrefix.data(), kPortPrefix.size()) != 0)
        return std::nullopt;
    name.remove_prefix(kPortPrefix.size());
    int port = -1;
    auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), port);
    if (ec != std::errc() || end != name.data() + name.size() || port < 0 || port > 255) return std::nullopt;
    out.kind = DeviceName::Kind::port;
    out.port = port;
    return out;
}

}  // namespace qpx::devices
