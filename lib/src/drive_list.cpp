// The per-drive container list kept in the registry, and the calls that
// read entries out of a list text.
#include <cstring>

#include "catalogue_store.h"
#include "drive_list_text.h"
#include "qpxdrv.h"
#include "registry/registry.h"

using namespace qpx::lib;

extern "C" {

int QPXGetContainerFiles(char* buffer, uint32_t size) {
    std::string text;
    if (int r = read_text("ContainerFiles", text); r != kReadOk) return r;
    return copy_out(text, buffer, size);
}

int QPXSetContainerFiles(const char* list) {
    if (!list) return kWriteFailed;
    return write_text("ContainerFiles", list);
}

int QPXGetContainerFromPosition(const char* list, int k, char* buffer, uint32_t size) {
    if (!list || !buffer || size == 0) return 0;
    auto entry = list_entry(list, k);
    // An entry that does not fit is refused rather than cut into another path.
    if (!entry || entry->size() >= size) return 0;
    std::memcpy(buffer, entry->data(), entry->size());
    buffer[entry->size()] = '\0';
    return 1;
}

int QPXDriveIsMounted(int k, const char* list) {
    if (!list || !*list) return 0;
    auto entry = list_entry(list, k);
    return entry && entry_is_mounted(*entry) ? 1 : 0;
}

int QPXContainerIsMounted(const char* list, const char* path) {
    if (!list || !path || !*path) return -1;
    for (int k = 0;; ++k) {
        auto entry = list_entry(list, k);
        if (!entry) return -1;
        if (*entry == path) return k;
    }
}

int QPXCheckContainerFiles(void) {
    char letters[32] = {};
    if (QPXGetDriveLetters(letters, 0) == -1 || !letters[0]) return 0;
    const int found = static_cast<int>(std::strlen(letters));
    const int configured = QPXGetNumberOfUnits();
    if (found != configured) return found;

    // Clearing the reminder and rebuilding the list succeed or fail together.
    qpx::reg::Transaction tx(qpx::reg::Hive::LocalMachine);
    if (tx.status() != qpx::reg::kSuccess) return kWriteNoKey;
    if (QPXIsRebootNeeded() != 1) return 0;
    if (int r = QPXSetRebootNeeded(0); r != kWriteOk) return r;
    std::string old;
    int r = read_text("ContainerFiles", old);
    if (r == kReadNoKey) return r;  // a missing list (kReadMissing) is rebuilt empty
    r = write_text("ContainerFiles", rebuilt_list(old, configured));
    if (r != kWriteOk) return r;
    return tx.commit() == qpx::reg::kSuccess ? kWriteOk : kWriteFailed;
}

}  // extern "C"
