#include "catalogue_store.h"

#include <cstdio>
#include <cstring>

#include "registry/registry.h"

namespace qpx::lib {

using reg::Hive;
using reg::Key;

int read_text(std::string_view key, std::string_view name, std::string& out) {
    Key k;
    if (Key::open(Hive::LocalMachine, key, reg::Access::Read, k) != reg::kSuccess) return kReadNoKey;
    reg::Value v;
    if (k.query(name, v) != reg::kSuccess || v.data.empty()) return kReadMissing;
    // Stored without a NUL; a stored NUL ends the text as it would in a buffer.
    const auto* p = reinterpret_cast<const char*>(v.data.data());
    out.assign(p, strnlen(p, v.data.size()));
    return out.empty() ? kReadMissing : kReadOk;
}

int read_text(std::string_view name, std::string& out) { return read_text(kCatalogueKey, name, out); }

int copy_out(const std::string& text, char* buffer, std::uint32_t size) {
    if (!buffer || text.size() >= size) return kReadTooSmall;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return kReadOk;
}

namespace {

int open_for_writing(std::string_view key, Key& k) {
    return Key::create(Hive::LocalMachine, key, k) == reg::kSuccess ? kWriteOk : kWriteNoKey;
}

}  // namespace

int write_text(std::string_view key, std::string_view name, std::string_view text) {
    Key k;
    if (int r = open_for_writing(key, k); r != kWriteOk) return r;
    return k.set_string(name, text) == reg::kSuccess ? kWriteOk : kWriteFailed;
}

int write_text(std::string_view name, std::string_view text) { return write_text(kCatalogueKey, name, text); }

int write_dword(std::string_view key, std::string_view name, std::uint32_t value) {
    Key k;
    if (int r = open_for_writing(key, k); r != kWriteOk) return r;
    return k.set_dword(name, value) == reg::kSuccess ? kWriteOk : kWriteFailed;
}

int write_dword(std::string_view name, std::uint32_t value) { return write_dword(kCatalogueKey, name, value); }

std::uint32_t read_dword_or(std::string_view name, std::uint32_t fallback) {
    std::uint32_t v = 0;
    return reg::read_dword(Hive::LocalMachine, kCatalogueKey, name, v) == reg::kSuccess ? v : fallback;
}

std::string record_value_name(int n) {
    char name[32];
    std::snprintf(name, sizeof name, "Container%04d", n);
    return name;
}

std::string_view record_path(std::string_view record) { return record.substr(0, record.find(',')); }

bool is_storable_path(std::string_view path) {
    return !path.empty() && path.find_first_of(",;") == std::string_view::npos;
}

}  // namespace qpx::lib
