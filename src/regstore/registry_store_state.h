// The registry store's process-wide state: the one SQLite connection (reopened
// when the store path moves, and after a fork), the table of open key handles
// and each handle's enumeration cursors. Thread-safe: one mutex guards them
// all for the whole of each call.
#pragma once

#include "regstore/registry_store_db.h"
#include "regstore/registry_store_enum.h"

#include <velmora/registry_store.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <unordered_map>

namespace velmora::reg::detail {

// What an operation of an enumeration is handed besides the key: the
// handle's cursors and the connection they are good for.
struct EnumContext {
    HandleCursors& cursors;
    uint64_t connection;
};

class Store {
public:
    static Store& Instance();

    // Runs op(db, id of key) as one transaction; op returns the Win32 result.
    // An op that also takes an EnumContext gets the handle's cursors. All the
    // waits for other connections' locks share one budget of kLockWait.
    template <class Op> LONG run(bool write, HKEY key, Op op) {
        std::lock_guard lock(mutex_);
        sqlite3* db = connect(write, Clock::now() + kLockWait);
        Transaction transaction(db, write);
        const int64_t id = keyOf(db, key);
        LONG result;
        if constexpr (std::is_invocable_v<Op, sqlite3*, int64_t, EnumContext>)
            result = op(db, id, EnumContext{cursors_[key], connections_});
        else
            result = op(db, id);
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
    sqlite3* connect(bool write, Clock::time_point deadline);
    int64_t keyOf(sqlite3* db, HKEY key) const;
    int64_t handleId(HKEY key) const;
    static void BeforeFork();
    static void AfterFork();

    std::mutex mutex_;
    std::unique_ptr<Connection> connection_;
    uint64_t connections_ = 0; // connections opened so far: tells a cursor's connection
    std::unordered_map<HKEY, Handle> handles_;
    std::unordered_map<HKEY, HandleCursors> cursors_; // of open handles and the roots
    HKEY lastHandle_ = 0xfc;
};

} // namespace velmora::reg::detail
