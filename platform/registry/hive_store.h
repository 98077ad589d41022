// One open hive database of this thread, with nested transactions and
// cached statements. Internal to the registry.
#pragma once

#include <sqlite3.h>
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "registry/registry.h"

namespace qpx::reg::detail {

class HiveStore {
public:
    // The calling thread's connection to `hive` under the current machine
    // root, opened (and the schema made) on first use. Null with *status set
    // when the database cannot be opened.
    static HiveStore* for_hive(Hive hive, Status* status);

    ~HiveStore();

    // A statement, prepared once per connection, reset and unbound.
    sqlite3_stmt* statement(const char* sql);
    bool read_only() const { return read_only_; }

    Status begin(bool write);
    Status finish(bool commit);
    int depth() const { return depth_; }

private:
    HiveStore(sqlite3* db, bool read_only);
    Status make_schema();
    int try_make_schema();  // one attempt; the SQLite result

    sqlite3* db_;
    bool read_only_;
    int depth_ = 0;
    bool failed_ = false;  // an inner scope failed: the outer one rolls back
    std::map<const char*, sqlite3_stmt*> statements_;
};

// One call's transaction: joins the thread's open transaction, if any.
class Scope {
public:
    Scope(Hive hive, bool write);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

    Status status() const { return status_; }
    HiveStore& store() { return *store_; }
    // Marks the transaction as broken: it (and any outer one) rolls back.
    // Returns kStoreFailure for the caller's convenience.
    Status fail();
    // Ends the scope; a failed commit turns into kStoreFailure. Without a
    // call the scope ends at destruction, committing unless fail() was called.
    Status commit();

private:
    HiveStore* store_ = nullptr;
    Status status_;
    bool done_ = false;
    bool failed_ = false;
};

// Maps a SQLite result to a status (SQLITE_OK/ROW/DONE are success).
Status status_of(int rc);

}  // namespace qpx::reg::detail
