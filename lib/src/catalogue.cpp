// The catalogue of known containers: numbered records under the library's
// key, with numbers freed by deletions handed out again, oldest first.
// Each read-modify-write call runs as one registry transaction, so programs
// changing the catalogue at the same time never share a number.
#include <strings.h>

#include <charconv>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "catalogue_store.h"
#include "qpxdrv.h"
#include "registry/registry.h"

using namespace qpx::lib;
using qpx::reg::Hive;
using qpx::reg::Key;

namespace {

// Catalogue number of a value name spelled exactly as record_value_name does.
std::optional<int> record_number(const std::string& value_name) {
    constexpr std::string_view prefix = "Container";
    if (value_name.size() <= prefix.size() || strncasecmp(value_name.c_str(), prefix.data(), prefix.size()) != 0)
        return std::nullopt;
    int n = 0;
    const char* first = value_name.data() + prefix.size();
    const char* last = value_name.data() + value_name.size();
    auto [ptr, ec] = std::from_chars(first, last, n);
    if (ec != std::errc() || ptr != last || n < 1) return std::nullopt;
    if (strcasecmp(record_value_name(n).c_str(), value_name.c_str()) != 0) return std::nullopt;
    return n;
}

// The free list's numbers, in order; anything that is not a number is dropped.
std::vector<int> parse_free_slots(const std::string& text) {
    std::vector<int> out;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t comma = text.find(',', pos);
        if (comma == std::string::npos) comma = text.size();
        int n = 0;
        auto [ptr, ec] = std::from_chars(text.data() + pos, text.data() + comma, n);
        if (ec == std::errc() && ptr == text.data() + comma && n >= 1) out.push_back(n);
        pos = comma + 1;
    }
    return out;
}

std::string join_free_slots(const std::vector<int>& numbers, std::size_t from) {
    std::string out;
    for (std::size_t i = from; i < numbers.size(); ++i) {
        if (!out.empty()) out += ',';
        out += std::to_string(numbers[i]);
    }
    return out;
}

bool record_exists(const Key& key, int n) {
    qpx::reg::Value v;
    return key.query(record_value_name(n), v) == qpx::reg::kSuccess;
}

}  // namespace

extern "C" {

int QPXGetInstallPath(char* buffer, uint32_t size) {
    std::string text;
    if (int r = read_text("InstallDir", text); r != kReadOk) return r;
    return copy_out(text, buffer, size);
}

int QPXGetContainerIndex(int n, char* buffer, uint32_t size) {
    std::string text;
    if (int r = read_text(record_value_name(n), text); r != kReadOk) return r;
    return copy_out(text, buffer, size);
}

int QPXSetContainerIndex(int n, const char* record) {
    if (!record || n < 1 || !is_storable_path(record_path(record))) return kWriteFailed;
    return write_text(record_value_name(n), record);
}

int QPXGetNumberOfContainers(void) { return static_cast<int>(read_dword_or("ContainerCount", 0)); }

int QPXSetNumberOfContainers(int n) { return write_dword("ContainerCount", static_cast<uint32_t>(n)); }

int QPXAddContainer(const char* record) {
    if (!record || !is_storable_path(record_path(record))) return -1;
    qpx::reg::Transaction tx(Hive::LocalMachine);
    Key key;
    if (tx.status() != qpx::reg::kSuccess ||
        Key::create(Hive::LocalMachine, kCatalogueKey, key) != qpx::reg::kSuccess)
        return -1;

    // A freed number is taken first; one whose record exists again (written
    // by hand or by an older program) is skipped, never handed out twice.
    std::string free_text;
    read_text("ContainerFreeSlots", free_text);
    std::vector<int> free_slots = parse_free_slots(free_text);
    std::size_t used = 0;
    int number = 0;
    while (used < free_slots.size() && number == 0) {
        int candidate = free_slots[used++];
        if (!record_exists(key, candidate)) number = candidate;
    }
    if (used > 0 || !free_text.empty()) {
        if (key.set_string("ContainerFreeSlots", join_free_slots(free_slots, used)) != qpx::reg::kSuccess) return -1;
    }
    if (number == 0) {
        uint32_t count = read_dword_or("ContainerCount", 0);
        do {
            ++count;
        } while (record_exists(key, static_cast<int>(count)));
        if (key.set_dword("ContainerCount", count) != qpx::reg::kSuccess) return -1;
        number = static_cast<int>(count);
    }
    if (key.set_string(record_value_name(number), record) != qpx::reg::kSuccess) return -1;
    return tx.commit() == qpx::reg::kSuccess ? number : -1;
}

int QPXDeleteContainer(int n) {
    qpx::reg::Transaction tx(Hive::LocalMachine);
    Key key;
    if (tx.status() != qpx::reg::kSuccess ||
        Key::open(Hive::LocalMachine, kCatalogueKey, qpx::reg::Access::ReadWrite, key) != qpx::reg::kSuccess)
        return kWriteNoKey;
    // Only a number whose record exists is freed; freeing a missing one
    // would let two later containers share it.
    if (n < 1 || !record_exists(key, n)) return 5;
    std::string free_text;
    read_text("ContainerFreeSlots", free_text);
    if (!free_text.empty()) free_text += ',';
    free_text += std::to_string(n);
    if (key.set_string("ContainerFreeSlots", free_text) != qpx::reg::kSuccess) return kWriteFailed;
    if (key.delete_value(record_value_name(n)) != qpx::reg::kSuccess) return 5;
    return tx.commit() == qpx::reg::kSuccess ? kWriteOk : kWriteFailed;
}

int QPXGetContainerIndexNumber(const char* path) {
    if (!path || !is_storable_path(path)) return 0;
    qpx::reg::Transaction snapshot(Hive::LocalMachine, qpx::reg::Transaction::Mode::Read);
    Key key;
    if (Key::open(Hive::LocalMachine, kCatalogueKey, qpx::reg::Access::Read, key) != qpx::reg::kSuccess) return 0;
    const int count = QPXGetNumberOfContainers();
    std::vector<std::pair<std::string, qpx::reg::Value>> values;
    if (key.values(values) != qpx::reg::kSuccess) return 0;
    // The lowest-numbered record whose path is exactly the one asked for.
    int best = 0;
    for (const auto& [name, value] : values) {
        std::optional<int> n = record_number(name);
        if (!n || *n > count || (best && *n >= best)) continue;
        std::string_view record(reinterpret_cast<const char*>(value.data.data()), value.data.size());
        record = record.substr(0, record.find('\0'));
        if (record.find(',') == std::string_view::npos) continue;
        if (record_path(record) == path) best = *n;
    }
    return best;
}

int QPXGetNumberOfUnits(void) { return static_cast<int>(read_dword_or("NumberOfCDROMs", 0)); }

int QPXIsRebootNeeded(void) { return read_dword_or("RebootNeeded", 0) == 1 ? 1 : 0; }

int QPXSetRebootNeeded(uint32_t value) { return write_dword("RebootNeeded", value); }

}  // extern "C"
