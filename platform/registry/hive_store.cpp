#include "registry/hive_store.h"

#include <unistd.h>

#include <chrono>
#include <thread>
#include <unordered_map>

#include "machine/machine_root.h"

namespace qpx::reg::detail {
namespace {

constexpr int kBusyTimeoutMs = 30000;

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys(
  id INTEGER PRIMARY KEY,
  parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,
  name TEXT NOT NULL COLLATE NOCASE,
  protected INTEGER NOT NULL DEFAULT 0,
  UNIQUE(parent, name));
CREATE TABLE IF NOT EXISTS vals(
  seq INTEGER PRIMARY KEY,
  key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
  name TEXT NOT NULL COLLATE NOCASE,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  UNIQUE(key, name));
INSERT OR IGNORE INTO keys(id, parent, name) VALUES(1, NULL, '');
)sql";

const char* file_name(Hive hive) {
    return hive == Hive::LocalMachine ? "machine.db" : "user.db";
}

struct ThreadStores {
    pid_t pid = 0;
    std::unordered_map<std::string, std::unique_ptr<HiveStore>> stores;
    ~ThreadStores() {
        // A forked child must not close its parent's connections.
        if (pid != getpid())
            for (auto& [path, store] : stores) (void)store.release();
    }
};

thread_local ThreadStores tls;

}  // namespace

Status status_of(int rc) {
    switch (rc & 0xff) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE:
            return kSuccess;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return kAccessDenied;
        default:
            return kStoreFailure;
    }
}

HiveStore* HiveStore::for_hive(Hive hive, Status* status) {
    if (tls.pid != getpid()) {
        for (auto& [path, store] : tls.stores) (void)store.release();
        tls.stores.clear();
        tls.pid = getpid();
    }
    std::string path;
    try {
        path = (machine::root() / "registry" / file_name(hive)).string();
        if (auto it = tls.stores.find(path); it != tls.stores.end()) {
            *status = kSuccess;
            return it->second.get();
        }
        machine::registry_dir();  // creates the folder
    } catch (const std::exception&) {
        *status = kStoreFailure;
        return nullptr;
    }
    sqlite3* db = nullptr;
    bool read_only = false;
    int rc = sqlite3_open_v2(path.c_str(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(db);
        db = nullptr;
        read_only = true;
        rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_close(db);
            *status = kStoreFailure;
            return nullptr;
        }
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    std::unique_ptr<HiveStore> store(new HiveStore(db, read_only));
    if (Status st = store->make_schema(); st != kSuccess) {
        *status = st;
        return nullptr;
    }
    // Processes that switch roots (tests, tools) keep only a few connections.
    constexpr std::size_t kMaxOpenHives = 8;
    for (auto it = tls.stores.begin(); tls.stores.size() >= kMaxOpenHives && it != tls.stores.end();)
        it = it->second->depth() == 0 ? tls.stores.erase(it) : std::next(it);
    *status = kSuccess;
    return tls.stores.emplace(path, std::move(store)).first->second.get();
}

HiveStore::HiveStore(sqlite3* db, bool read_only) : db_(db), read_only_(read_only) {}

HiveStore::~HiveStore() {
    for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
    sqlite3_close(db_);
}

Status HiveStore::make_schema() {
    sqlite3_exec(db_, "PRAGMA foreign_keys=ON", nullptr, nullptr, nullptr);
    if (read_only_) return kSuccess;
    // Programs that start together may create a new hive at the same moment:
    // the journal mode change and the schema then wait for each other.
    constexpr int kAttempts = 500;
    for (int attempt = 1;; ++attempt) {
        const int rc = try_make_schema();
        if (rc == SQLITE_OK) return kSuccess;
        const int primary = rc & 0xff;
        if ((primary != SQLITE_BUSY && primary != SQLITE_LOCKED) || attempt >= kAttempts) return status_of(rc);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int HiveStore::try_make_schema() {
    // WAL lets readers go on while one writer commits; NORMAL sync keeps
    // every committed transaction across a crash of the process.
    int rc = sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return rc;
    sqlite3_exec(db_, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return rc;
    rc = sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return rc;
    }
    rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return rc;
}

sqlite3_stmt* HiveStore::statement(const char* sql) {
    auto it = statements_.find(sql);
    if (it == statements_.end()) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK)
            return nullptr;
        it = statements_.emplace(sql, stmt).first;
    }
    sqlite3_reset(it->second);
    sqlite3_clear_bindings(it->second);
    return it->second;
}

Status HiveStore::begin(bool write) {
    if (depth_ > 0) {
        ++depth_;
        return kSuccess;
    }
    if (write && read_only_) return kAccessDenied;
    // The busy timeout covers waiting for another writer; a hive that another
    // process is just creating or recovering answers BUSY at once, so that
    // is waited out here (bounded).
    constexpr int kAttempts = 2000;
    int rc = SQLITE_OK;
    for (int attempt = 1;; ++attempt) {
        rc = sqlite3_exec(db_, write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr);
        const int primary = rc & 0xff;
        if (rc == SQLITE_OK || (primary != SQLITE_BUSY && primary != SQLITE_LOCKED) || attempt >= kAttempts) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (rc != SQLITE_OK) return status_of(rc);
    depth_ = 1;
    failed_ = false;
    return kSuccess;
}

Status HiveStore::finish(bool commit) {
    if (depth_ == 0) return kStoreFailure;
    if (!commit) failed_ = true;
    if (--depth_ > 0) return kSuccess;
    // Statements must not hold read locks past the transaction.
    for (auto& [sql, stmt] : statements_) sqlite3_reset(stmt);
    if (failed_ || !commit) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return commit ? kStoreFailure : kSuccess;
    }
    int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return kStoreFailure;
    }
    return kSuccess;
}

Scope::Scope(Hive hive, bool write) {
    store_ = HiveStore::for_hive(hive, &status_);
    if (store_) {
        status_ = store_->begin(write);
        if (status_ != kSuccess) store_ = nullptr;
    }
}

Scope::~Scope() { commit(); }

Status Scope::fail() {
    failed_ = true;
    return kStoreFailure;
}

Status Scope::commit() {
    if (!store_ || done_) return status_;
    done_ = true;
    return store_->finish(!failed_);
}

}  // namespace qpx::reg::detail
