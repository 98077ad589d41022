// The emulated machine's registry: two hives (local machine, current user)
// of keys, sub-keys and typed values, kept in one SQLite database per hive
// under the machine root. Key and value names compare ignoring case; every
// call is one transaction, safe across threads, processes and crashes.
//
// The calls follow the registry functions the programs were written against:
// results are Win32-style status codes, strings are stored with exactly the
// bytes the caller gives (callers that store C strings give them without
// their NUL), and enumeration goes by index in a stable order (sub-keys by
// name, values in the order they were first written).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qpx::reg {

namespace detail {
class HiveStore;
}

enum class Hive { LocalMachine, CurrentUser };

enum class ValueType : std::uint32_t {
    None = 0,
    String = 1,       // REG_SZ
    Binary = 3,       // REG_BINARY
    Dword = 4,        // REG_DWORD, little-endian
    MultiString = 7,  // REG_MULTI_SZ
};

// Win32 status codes the callers test for.
enum Status : long {
    kSuccess = 0,
    kFileNotFound = 2,  // key or value missing
    kAccessDenied = 5,  // key protected, hive not writable
    kInvalidHandle = 6,
    kInvalidParameter = 87,
    kMoreData = 234,
    kNoMoreItems = 259,
    kKeyHasSubkeys = 1020,  // ERROR_KEY_HAS_CHILDREN
    kStoreFailure = 1009,   // ERROR_BADDB: the database could not be read or written
};

enum class Access { Read, ReadWrite };

struct Value {
    ValueType type = ValueType::None;
    std::vector<std::uint8_t> data;
};

// An open key. Copyable; it names the key by identity, so a key deleted
// meanwhile answers kInvalidHandle.
class Key {
public:
    Key() = default;

    // Opens an existing key ("SOFTWARE\\Calder\\Quoplex CD-ROM"; an empty
    // path is the hive's root). kFileNotFound when a part is missing,
    // kAccessDenied for ReadWrite on a protected key.
    static Status open(Hive hive, std::string_view path, Access access, Key& out);
    // Opens the key, creating it and its missing parents first.
    static Status create(Hive hive, std::string_view path, Key& out);

    bool valid() const { return id_ != 0; }
    Hive hive() const { return hive_; }

    Status query(std::string_view name, Value& out) const;
    // REG_SZ as text: the stored bytes, cut at the first NUL if there is one.
    Status query_string(std::string_view name, std::string& out) const;
    Status query_dword(std::string_view name, std::uint32_t& out) const;
    Status query_multi_string(std::string_view name, std::vector<std::string>& out) const;

    Status set(std::string_view name, ValueType type, std::span<const std::uint8_t> data) const;
    // Stores the text's bytes without a NUL.
    Status set_string(std::string_view name, std::string_view text) const;
    Status set_dword(std::string_view name, std::uint32_t value) const;
    // Stores each string with its NUL and a final empty string.
    Status set_multi_string(std::string_view name, const std::vector<std::string>& items) const;
    Status delete_value(std::string_view name) const;

    // Sub-keys in name order, values in first-written order.
    Status enum_subkey(std::uint32_t index, std::string& name) const;
    Status enum_value(std::uint32_t index, std::string& name, Value& value) const;
    Status subkey_names(std::vector<std::string>& names) const;
    // Every value of the key in enumeration order, in one read.
    Status values(std::vector<std::pair<std::string, Value>>& out) const;

    // Deletes a direct sub-key that has no sub-keys of its own.
    Status delete_subkey(std::string_view name) const;
    // Deletes a sub-key with everything below it.
    Status delete_tree(std::string_view name) const;

    // Marks the key read-only for everyone (ReadWrite opens are denied) or
    // lifts the mark. This is how administrators keep keys from users.
    Status set_protected(bool on) const;

private:
    Key(Hive hive, std::int64_t id, Access access) : hive_(hive), id_(id), access_(access) {}
    Hive hive_ = Hive::LocalMachine;
    std::int64_t id_ = 0;
    Access access_ = Access::Read;
};

// Makes the calls of this thread on `hive` one transaction until commit()
// (or rollback at destruction). Taken at once as the writer's lock, so a
// read-modify-write in it cannot interleave with another process's.
// Nests: inner transactions join the outer one.
class Transaction {
public:
    enum class Mode { Write, Read };
    // Read: a consistent snapshot for a series of reads; no lock is taken.
    explicit Transaction(Hive hive, Mode mode = Mode::Write);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // kSuccess when begun; otherwise every call in it fails too.
    Status status() const { return status_; }
    Status commit();

private:
    detail::HiveStore* store_ = nullptr;
    Status status_;
    bool done_ = false;
};

// Convenience readers that open the key for one value.
Status read_string(Hive hive, std::string_view key, std::string_view name, std::string& out);
Status read_dword(Hive hive, std::string_view key, std::string_view name, std::uint32_t& out);

}  // namespace qpx::reg
