// Another connection to the test's registry store through SQLite itself, as a
// second process would hold one: it takes the write lock (or one that keeps
// readers out too), or plants a trigger that fails a chosen write half-way
// through a transaction.
#pragma once

#include <stdexcept>
#include <string>

#include <sqlite3.h>

#include <velmora/registry_store.h>

namespace velmora::test {

class StoreConnection {
public:
    // The store must exist: write something through the store first.
    StoreConnection() {
        if (sqlite3_open_v2(reg::StorePath().c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open " + reg::StorePath());
        sqlite3_busy_timeout(db_, 5000);
    }
    ~StoreConnection() { sqlite3_close_v2(db_); }
    StoreConnection(const StoreConnection&) = delete;
    StoreConnection& operator=(const StoreConnection&) = delete;

    void Exec(const std::string& sql) {
        char* message = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string text = message ? message : "failed";
            sqlite3_free(message);
            throw std::runtime_error(sql + ": " + text);
        }
    }
    // Holds the write lock until Release (or the connection closes).
    void Lock() { Exec("BEGIN IMMEDIATE"); }
    void Release() { Exec("ROLLBACK"); }
    // Keeps readers out too, which the write lock alone does not in WAL mode:
    // an exclusive file lock held until the connection closes.
    void LockOutReaders() {
        Exec("PRAGMA locking_mode=EXCLUSIVE");
        Exec("BEGIN EXCLUSIVE");
        Exec("CREATE TABLE lock_out(x)"); // a write takes the lock
    }
    // Any write of a value of that name fails inside the writer's transaction.
    void PoisonValue(const std::string& name) {
        Exec("CREATE TRIGGER poison BEFORE INSERT ON vals WHEN NEW.name = '" + name +
             "' BEGIN SELECT RAISE(ABORT, 'injected fault'); END");
    }
    void Cure() { Exec("DROP TRIGGER poison"); }

private:
    sqlite3* db_ = nullptr;
};

} // namespace velmora::test
