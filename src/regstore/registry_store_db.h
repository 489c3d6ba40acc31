// SQLite plumbing of the registry store: one connection, prepared statements,
// transactions, and SQLite failures turned into Win32 codes (thrown as Failure).
// Not thread-safe: the store's mutex guards every use of a connection.
#pragma once

#include <velmora/registry_store.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace velmora::reg::detail {

using Clock = std::chrono::steady_clock;

// How long one call of the store may wait, in all, for another connection's
// lock: long enough to ride out another process's write, short enough that a
// stuck lock ends in an error rather than a hang.
inline constexpr std::chrono::milliseconds kLockWait{5000};

// A Win32 code thrown inside the store and returned at its API boundary.
struct Failure {
    LONG code;
};

// The Win32 code for a failed SQLite call on db (db may be null).
LONG Win32Code(sqlite3* db, int rc);
// The Win32 code for an operating-system errno.
LONG Win32FromErrno(int err);

class Connection {
public:
    // The database file at path, created with its folder when missing; or,
    // with onDisk false, an empty store in memory that reads as a fresh one.
    // Waits for locks until deadline.
    static std::unique_ptr<Connection> Open(const std::string& path, bool onDisk, Clock::time_point deadline);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    sqlite3* db() const { return db_; }
    const std::string& path() const { return path_; }
    bool onDisk() const { return onDisk_; }
    // Every wait for a lock from now on ends at deadline: one budget for all
    // the statements of a call, not one per statement.
    void waitUntil(Clock::time_point deadline) { deadline_ = deadline; }

private:
    Connection(sqlite3* db, std::string path, bool onDisk, Clock::time_point deadline)
        : db_(db), path_(std::move(path)), onDisk_(onDisk), deadline_(deadline) {}
    static int OnBusy(void* self, int attempts);

    sqlite3* db_;
    std::string path_;
    bool onDisk_;
    Clock::time_point deadline_;
};

class Stmt {
public:
    Stmt(sqlite3* db, const char* sql);
    ~Stmt();
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    Stmt& bind(int index, int64_t value);
    Stmt& bind(int index, std::string_view text);
    Stmt& bindBlob(int index, std::span<const uint8_t> bytes);
    // True while a row is ready, false when done.
    bool step();
    int64_t integer(int column) const;
    std::string text(int column) const;
    std::span<const uint8_t> blob(int column) const;

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// BEGIN on construction (IMMEDIATE for writers, so a writer waits for the
// lock up front instead of failing to upgrade later); ROLLBACK unless committed.
class Transaction {
public:
    Transaction(sqlite3* db, bool write);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    sqlite3* db_;
    bool open_ = true;
};

void Exec(sqlite3* db, const char* sql);
// Puts the database in WAL mode (a store in memory stays as it is); waits for
// another connection's lock until deadline.
void EnterWalMode(sqlite3* db, Clock::time_point deadline);

} // namespace velmora::reg::detail
