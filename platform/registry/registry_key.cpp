#include <cstring>

#include "registry/hive_store.h"
#include "registry/registry.h"

namespace qpx::reg {
namespace {

using detail::HiveStore;
using detail::Scope;

// Splits "A\\B\\C" into its non-empty parts.
std::vector<std::string_view> split_path(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t next = path.find('\\', pos);
        if (next == std::string_view::npos) next = path.size();
        if (next > pos) parts.push_back(path.substr(pos, next - pos));
        pos = next + 1;
    }
    return parts;
}

void bind_text(sqlite3_stmt* st, int index, std::string_view text) {
    sqlite3_bind_text(st, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// Child key id, 0 when missing, -1 on a store failure.
std::int64_t find_child(HiveStore& store, std::int64_t parent, std::string_view name) {
    sqlite3_stmt* st = store.statement("SELECT id FROM keys WHERE parent=?1 AND name=?2");
    if (!st) return -1;
    sqlite3_bind_int64(st, 1, parent);
    bind_text(st, 2, name);
    int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) return sqlite3_column_int64(st, 0);
    return rc == SQLITE_DONE ? 0 : -1;
}

// Whether the key exists (1), not (0), or the store failed (-1); its
// protection mark in *is_protected.
int key_state(HiveStore& store, std::int64_t id, bool* is_protected) {
    sqlite3_stmt* st = store.statement("SELECT protected FROM keys WHERE id=?1");
    if (!st) return -1;
    sqlite3_bind_int64(st, 1, id);
    int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) {
        if (is_protected) *is_protected = sqlite3_column_int(st, 0) != 0;
        return 1;
    }
    return rc == SQLITE_DONE ? 0 : -1;
}

// Checks that the key still exists and, for changes, that it may be changed.
Status check_key(Scope& scope, std::int64_t id, bool for_write) {
    bool is_protected = false;
    int state = key_state(scope.store(), id, &is_protected);
    if (state < 0) return scope.fail();
    if (state == 0) return kInvalidHandle;
    if (for_write && (is_protected || scope.store().read_only())) return kAccessDenied;
    return kSuccess;
}

// Runs `body` in a transaction on the existing key `id`; commits when the
// body succeeds.
template <typename Body>
Status with_key(Hive hive, std::int64_t id, bool write, Body body) {
    Scope scope(hive, write);
    if (scope.status() != kSuccess) return scope.status();
    if (Status st = check_key(scope, id, write); st != kSuccess) return st;
    if (Status st = body(scope); st != kSuccess) return st;
    return scope.commit();
}

Status run(Scope& scope, sqlite3_stmt* st) {
    if (!st) return scope.fail();
    int rc = sqlite3_step(st);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
        Status s = detail::status_of(rc);
        scope.fail();
        return s;
    }
    return kSuccess;
}

std::string column_text(sqlite3_stmt* st, int col) {
    const auto* p = sqlite3_column_text(st, col);
    return p ? std::string(reinterpret_cast<const char*>(p), sqlite3_column_bytes(st, col)) : std::string();
}

Value column_value(sqlite3_stmt* st, int type_col, int data_col) {
    Value v;
    v.type = static_cast<ValueType>(sqlite3_column_int(st, type_col));
    const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(st, data_col));
    v.data.assign(p, p + sqlite3_column_bytes(st, data_col));
    return v;
}

}  // namespace

Status Key::open(Hive hive, std::string_view path, Access access, Key& out) {
    out = Key();
    Scope scope(hive, false);
    if (scope.status() != kSuccess) return scope.status();
    std::int64_t id = 1;
    for (std::string_view part : split_path(path)) {
        id = find_child(scope.store(), id, part);
        if (id < 0) return scope.fail();
        if (id == 0) return kFileNotFound;
    }
    if (access == Access::ReadWrite) {
        if (Status st = check_key(scope, id, true); st != kSuccess) return st;
    }
    out = Key(hive, id, access);
    return scope.commit();
}

Status Key::create(Hive hive, std::string_view path, Key& out) {
    out = Key();
    Scope scope(hive, true);
    if (scope.status() != kSuccess) return scope.status();
    std::int64_t id = 1;
    for (std::string_view part : split_path(path)) {
        std::int64_t child = find_child(scope.store(), id, part);
        if (child < 0) return scope.fail();
        if (child == 0) {
            if (Status st = check_key(scope, id, true); st != kSuccess) return st;
            sqlite3_stmt* st = scope.store().statement("INSERT INTO keys(parent, name) VALUES(?1, ?2)");
            if (!st) return scope.fail();
            sqlite3_bind_int64(st, 1, id);
            bind_text(st, 2, part);
            if (Status s = run(scope, st); s != kSuccess) return s;
            child = find_child(scope.store(), id, part);
            if (child <= 0) return scope.fail();
        }
        id = child;
    }
    if (Status st = check_key(scope, id, true); st != kSuccess) return st;
    if (Status st = scope.commit(); st != kSuccess) return st;
    out = Key(hive, id, Access::ReadWrite);
    return kSuccess;
}

Status Key::query(std::string_view name, Value& out) const {
    if (!valid()) return kInvalidHandle;
    return with_key(hive_, id_, false, [&](Scope& scope) -> Status {
        sqlite3_stmt* st = scope.store().statement("SELECT type, data FROM vals WHERE key=?1 AND name=?2");
        if (!st) return scope.fail();
        sqlite3_bind_int64(st, 1, id_);
        bind_text(st, 2, name);
        int rc = sqlite3_step(st);
        if (rc == SQLITE_DONE) return kFileNotFound;
        if (rc != SQLITE_ROW) return scope.fail();
        out = column_value(st, 0, 1);
        return kSuccess;
    });
}

Status Key::query_string(std::string_view name, std::string& out) const {
    Value v;
    if (Status st = query(name, v); st != kSuccess) return st;
    const auto* p = reinterpret_cast<const char*>(v.data.data());
    out.assign(p, strnlen(p, v.data.size()));
    return kSuccess;
}

Status Key::query_dword(std::string_view name, std::uint32_t& out) const {
    Value v;
    if (Status st = query(name, v); st != kSuccess) return st;
    if (v.data.size() != 4) return kInvalidParameter;
    out = static_cast<std::uint32_t>(v.data[0]) | static_cast<std::uint32_t>(v.data[1]) << 8 |
          static_cast<std::uint32_t>(v.data[2]) << 16 | static_cast<std::uint32_t>(v.data[3]) << 24;
    return kSuccess;
}

Status Key::query_multi_string(std::string_view name, std::vector<std::string>& out) const {
    Value v;
    if (Status st = query(name, v); st != kSuccess) return st;
    out.clear();
    std::string current;
    for (std::uint8_t c : v.data) {
        if (c != 0) {
            current.push_back(static_cast<char>(c));
            continue;
        }
        if (current.empty()) break;  // the empty string ends the list
        out.push_back(std::move(current));
        current.clear();
    }
    if (!current.empty()) out.push_back(std::move(current));
    return kSuccess;
}

Status Key::set(std::string_view name, ValueType type, std::span<const std::uint8_t> data) const {
    if (!valid()) return kInvalidHandle;
    if (access_ != Access::ReadWrite) return kAccessDenied;
    return with_key(hive_, id_, true, [&](Scope& scope) -> Status {
        sqlite3_stmt* st = scope.store().statement(
            "INSERT INTO vals(key, name, type, data) VALUES(?1, ?2, ?3, ?4) "
            "ON CONFLICT(key, name) DO UPDATE SET type=excluded.type, data=excluded.data");
        if (!st) return scope.fail();
        sqlite3_bind_int64(st, 1, id_);
        bind_text(st, 2, name);
        sqlite3_bind_int(st, 3, static_cast<int>(type));
        // A zero-length blob must still be a blob, not NULL.
        static const std::uint8_t kEmpty = 0;
        sqlite3_bind_blob(st, 4, data.empty() ? &kEmpty : data.data(), static_cast<int>(data.size()),
                          SQLITE_TRANSIENT);
        if (Status s = run(scope, st); s != kSuccess) return s;
        return kSuccess;
    });
}

Status Key::set_string(std::string_view name, std::string_view text) const {
    return set(name, ValueType::String,
               {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

Status Key::set_dword(std::string_view name, std::uint32_t value) const {
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                   static_cast<std::uint8_t>(value >> 16),
                                   static_cast<std::uint8_t>(value >> 24)};
    return set(name, ValueType::Dword, bytes);
}

Status Key::set_multi_string(std::string_view name, const std::vector<std::string>& items) const {
    std::vector<std::uint8_t> data;
    for (const std::string& item : items) {
        if (item.empty() || item.find('\0') != std::string::npos) return kInvalidParameter;
        data.insert(data.end(), item.begin(), item.end());
        data.push_back(0);
    }
    data.push_back(0);
    return set(name, ValueType::MultiString, data);
}

Status Key::delete_value(std::string_view name) const {
    if (!valid()) return kInvalidHandle;
    if (access_ != Access::ReadWrite) return kAccessDenied;
    return with_key(hive_, id_, true, [&](Scope& scope) -> Status {
        sqlite3_stmt* st = scope.store().statement("DELETE FROM vals WHERE key=?1 AND name=?2");
        if (!st) return scope.fail();
        sqlite3_bind_int64(st, 1, id_);
        bind_text(st, 2, name);
        if (Status s = run(scope, st); s != kSuccess) return s;
        if (sqlite3_changes(sqlite3_db_handle(st)) == 0) return kFileNotFound;
        return kSuccess;
    });
}

Status Key::enum_subkey(std::uint32_t index, std::string& name) const {
    if (!valid()) return kInvalidHandle;
    return with_key(hive_, id_, false, [&](Scope& scope) -> Status {
        sqlite3_stmt* st = scope.store().statement(
            "SELECT name FROM keys WHERE parent=?1 ORDER BY name COLLATE NOCASE, id LIMIT 1 OFFSET ?2");
        if (!st) return scope.fail();
        sqlite3_bind_int64(st, 1, id_);
        sqlite3_bind_int64(st, 2, index);
        int rc = sqlite3_step(st);
        if (rc == SQLITE_DONE) return kNoMoreItems;
        if (rc != SQLITE_ROW) return scope.fail();
        name = column_text(st, 0);
        return kSuccess;
    });
}

Status Key::subkey_names(std::vector<std::string>& names) const {
    if (!valid()) return kInvalidHandle;
    return with_key(hive_, id_, false, [&](Scope& scope) -> Status {
        sqlite3_stmt* st =
            scope.store().statement("SELECT name FROM keys WHERE parent=?1 ORDER BY name COLLATE NOCASE, id");
        if (!st) return scope.fail();
        sqlite3_bind_int64(st, 1, id_);
        names.clear();
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) names.push_back(column_text(st, 0));
        if (rc != SQLITE_DONE) return scope.fail();
        return kSuccess;
    });
}

Status Key::enum_value(std::uint32_t index, std::string& name, Value& value) const {
    if (!valid()) return kInvalidHandle;
    return with_key(hive_, id_, false, [&](Scope& scope) -> Status {
        sqlite3_stmt* st = scope.store().statement(
            "SELECT name, type, data FROM vals WHERE key=?1 ORDER BY seq LIMIT 1 OFFSET ?2");
        if (!st) return scope.fail();
        sqlite3_bind_int64(st, 1, id_);
        sqlite3_bind_int64(st, 2, index);
        int rc = sqlite3_step(st);
        if (rc == SQLITE_DONE) return kNoMoreItems;
        if (rc != SQLITE_ROW) return scope.fail();
        name = column_text(st, 0);
        value = column_value(st, 1, 2);
        return kSuccess;
    });
}

Status Key::values(std::vector<std::pair<std::string, Value>>& out) const {
    if (!valid()) return kInvalidHandle;
    return with_key(hive_, id_, false, [&](Scope& scope) -> Status {
        sqlite3_stmt* st = scope.store().statement("SELECT name, type, data FROM vals WHERE key=?1 ORDER BY seq");
        if (!st) return scope.fail();
        sqlite3_bind_int64(st, 1, id_);
        out.clear();
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) out.emplace_back(column_text(st, 0), column_value(st, 1, 2));
        if (rc != SQLITE_DONE) return scope.fail();
        return kSuccess;
    });
}

Status Key::delete_subkey(std::string_view name) const {
    if (!valid()) return kInvalidHandle;
    if (access_ != Access::ReadWrite) return kAccessDenied;
    return with_key(hive_, id_, true, [&](Scope& scope) -> Status {
        std::int64_t child = find_child(scope.store(), id_, name);
        if (child < 0) return scope.fail();
        if (child == 0) return kFileNotFound;
        if (Status st = check_key(scope, child, true); st != kSuccess) return st;
        sqlite3_stmt* st = scope.store().statement("SELECT 1 FROM keys WHERE parent=?1 LIMIT 1");
        if (!st) return scope.fail();
        sqlite3_bind_int64(st, 1, child);
        int rc = sqlite3_step(st);
        if (rc == SQLITE_ROW) return kKeyHasSubkeys;
        if (rc != SQLITE_DONE) return scope.fail();
        st = scope.store().statement("DELETE FROM keys WHERE id=?1");
        if (!st) return scope.fail();
        sqlite3_bind_int64(st, 1, child);
        if (Status s = run(scope, st); s != kSuccess) return s;
        return kSuccess;
    });
}

Status Key::delete_tree(std::string_view name) const {
    if (!valid()) return kInvalidHandle;
    if (access_ != Access::ReadWrite) return kAccessDenied;
    return with_key(hive_, id_, true, [&](Scope& scope) -> Status {
        std::int64_t child = find_child(scope.store(), id_, name);
        if (child < 0) return scope.fail();
        if (child == 0) return kFileNotFound;
        // Refuse when anything below is protected.
        sqlite3_stmt* st = scope.store().statement(
            "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN sub ON k.parent=sub.id) "
            "SELECT 1 FROM keys WHERE id IN sub AND protected<>0 LIMIT 1");
        if (!st) return scope.fail();
        sqlite3_bind_int64(st, 1, child);
        int rc = sqlite3_step(st);
        if (rc == SQLITE_ROW) return kAccessDenied;
        if (rc != SQLITE_DONE) return scope.fail();
        st = scope.store().statement("DELETE FROM keys WHERE id=?1");  // cascades
        if (!st) return scope.fail();
        sqlite3_bind_int64(st, 1, child);
        if (Status s = run(scope, st); s != kSuccess) return s;
        return kSuccess;
    });
}

Status Key::set_protected(bool on) const {
    if (!valid()) return kInvalidHandle;
    Scope scope(hive_, true);
    if (scope.status() != kSuccess) return scope.status();
    if (Status st = check_key(scope, id_, false); st != kSuccess) return st;
    if (scope.store().read_only()) return kAccessDenied;
    sqlite3_stmt* st = scope.store().statement("UPDATE keys SET protected=?2 WHERE id=?1");
    if (!st) return scope.fail();
    sqlite3_bind_int64(st, 1, id_);
    sqlite3_bind_int(st, 2, on ? 1 : 0);
    if (Status s = run(scope, st); s != kSuccess) return s;
    return scope.commit();
}

Status read_string(Hive hive, std::string_view key, std::string_view name, std::string& out) {
    Key k;
    if (Status st = Key::open(hive, key, Access::Read, k); st != kSuccess) return st;
    return k.query_string(name, out);
}

Status read_dword(Hive hive, std::string_view key, std::string_view name, std::uint32_t& out) {
    Key k;
    if (Status st = Key::open(hive, key, Access::Read, k); st != kSuccess) return st;
    return k.query_dword(name, out);
}

}  // namespace qpx::reg
