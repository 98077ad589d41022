// Inserting and ejecting containers: the per-drive container list is
// rewritten, then the port host is told to re-read the drive through the
// update request on its SCSI port device.
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "catalogue_store.h"
#include "devices/byte_fields.h"
#include "devices/device.h"
#include "drive_list_text.h"
#include "qpxdrv.h"
#include "registry/registry.h"
#include "virtual_drives.h"

namespace qpx::lib {
namespace {

constexpr std::uint32_t kUpdateDriveCode = 0x1B0506;
constexpr std::uint32_t kControlTimeoutSeconds = 10000;
constexpr std::size_t kControlHeaderSize = 28;
constexpr std::size_t kUpdateInputLength = 32;   // header and 4 data bytes
constexpr std::size_t kUpdateOutputLength = 28;  // the header comes back
constexpr char kSignature[8] = {'q', 'p', 'x', 'm', 'p', 'o', 'r', 't'};
constexpr const char* kListValue = "ContainerFiles";

devices::OpenRetry device_open_retry() {
    devices::OpenRetry retry;  // 5 tries, 1 second apart
    if (const char* ms = std::getenv("QPX_DEVICE_RETRY_INTERVAL_MS"); ms && *ms) {
        char* end = nullptr;
        const long value = std::strtol(ms, &end, 10);
        if (end && *end == '\0' && value >= 0 && value <= 60000) retry.interval = std::chrono::milliseconds(value);
    }
    return retry;
}

std::string device_of_letter(char letter) { return std::string("\\\\.\\") + letter + ":"; }
std::string device_of_port(int port) { return "\\\\.\\Scsi" + std::to_string(port) + ":"; }

// The SCSI address of drive k: asked of the device of its letter; a drive
// without a letter (more drives than letters) is found by its number.
std::optional<drives::ScsiAddress> address_of_drive(int k, const devices::OpenRetry& retry) {
    char letters[32] = {};
    QPXGetDriveLetters(letters, 2);
    if (k < static_cast<int>(std::strlen(letters))) {
        devices::Device device;
        if (devices::open_device(device_of_letter(letters[k]), device, retry)) return std::nullopt;
        drives::ScsiAddress address;
        if (device.get_address(address)) return std::nullopt;
        return address;
    }
    return drive_address(port_host_ports(), k);
}

// Byte range of entry k within the list: entries are each ended by ";", and
// only an entry so ended belongs to a drive.
std::optional<std::pair<std::size_t, std::size_t>> entry_range(const std::string& list, int k) {
    std::size_t begin = 0;
    for (int i = 0;; ++i) {
        const std::size_t end = list.find(';', begin);
        if (end == std::string::npos) return std::nullopt;
        if (i == k) return std::make_pair(begin, end);
        begin = end + 1;
    }
}

// Replaces entry k of the stored list by `text`, in one registry transaction.
bool rewrite_entry(int k, const std::string& text) {
    reg::Transaction tx(reg::Hive::LocalMachine);
    if (tx.status() != reg::kSuccess) return false;
    std::string list;
    if (read_text(kListValue, list) != kReadOk) return false;
    const auto range = entry_range(list, k);
    if (!range) return false;
    list.replace(range->first, range->second - range->first, text);
    if (write_text(kListValue, list) != kWriteOk) return false;
    return tx.commit() == reg::kSuccess;
}

bool drive_is_mounted(int k) {
    std::string list;
    read_text(kListValue, list);
    return QPXDriveIsMounted(k, list.c_str()) != 0;
}

}  // namespace
}  // namespace qpx::lib

using namespace qpx::lib;
using namespace qpx;

extern "C" {

int QPXUpdateDriver(int drive) {
    if (drive < 0 || QPXGetNTScsiPort() < 0) return 0;
    const devices::OpenRetry retry = device_open_retry();
    const auto address = address_of_drive(drive, retry);
    if (!address) return 0;

    devices::Device port;
    if (devices::open_device(device_of_port(address->port), port, retry)) return 0;

    std::uint8_t buffer[kUpdateInputLength] = {};
    devices::store_le32(buffer, 0, kControlHeaderSize);
    std::memcpy(buffer + 4, kSignature, sizeof kSignature);
    devices::store_le32(buffer, 12, kControlTimeoutSeconds);
    devices::store_le32(buffer, 16, kUpdateDriveCode);
    devices::store_le32(buffer, 20, 0);
    devices::store_le32(buffer, 24, 4);
    buffer[kControlHeaderSize] = address->path_id;
    buffer[kControlHeaderSize + 1] = address->target;
    buffer[kControlHeaderSize + 2] = drive_is_mounted(drive) ? 1 : 0;

    devices::MiniportResult result;
    if (port.miniport_control(std::span<const std::uint8_t>(buffer, kUpdateInputLength),
                              std::span<std::uint8_t>(buffer, kUpdateOutputLength), result))
        return 0;
    return result.succeeded() ? 1 : 0;
}

int QPXEject(int drive) {
    if (drive < 0 || !rewrite_entry(drive, "")) return 0;
    return QPXUpdateDriver(drive);
}

int QPXInsert(int drive, const char* path) {
    if (drive < 0 || !path || !is_storable_path(path)) return 0;
    std::string list;
    if (read_text(kListValue, list) != kReadOk) return 0;
    // A container is in one drive at a time.
    if (const int holder = QPXContainerIsMounted(list.c_str(), path); holder >= 0) QPXEject(holder);
    if (!rewrite_entry(drive, path)) return 0;
    return QPXUpdateDriver(drive);
}

}  // extern "C"
