// The registry store's process-wide state: the one SQLite connection (reopened
// when the store path moves, and after a fork) and the table of open key
// handles. Thread-safe: one mutex guards both for the whole of each call.
#pragma once

#include "regstore/registry_store_db.h"

#include <velmora/registry_store.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace velmora::reg::detail {

class Store {
public:
    static Store& Instance();

    // Runs op(db, id of key) as one transaction; op returns the Win32 result.
    template <class Op> LONG run(bool write, HKEY key, Op op) {
        std::lock_guard lock(mutex_);
        sqlite3* db = connect(write);
        Transaction transaction(db, write);
        LONG result = op(db, keyOf(db, key));
        transaction.commit();
        return result;
    }
    // Handles are made only after the transaction that found the key is in.
    HKEY addHandle(int64_t id);
    LONG closeHandle(HKEY key);

private:
    // An open key: its row id in the database it was opened in.
    struct Handle {
        int64_t id;
        std::string store;
    };

    Store();
    sqlite3* connect(bool write);
    int64_t keyOf(sqlite3* db, HKEY key) const;
    int64_t handleId(HKEY key) const;
    static void BeforeFork();
    static void AfterFork();

    std::mutex mutex_;
    std::unique_ptr<Connection> connection_;
    std::unordered_map<HKEY, Handle> handles_;
    HKEY lastHandle_ = 0xfc;
};

} // namespace velmora::reg::detail
