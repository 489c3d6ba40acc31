#include "regstore/registry_store_state.h"

#include "regstore/registry_store_tree.h"

#include <filesystem>
#include <system_error>

#include <pthread.h>

namespace velmora::reg::detail {

Store& Store::Instance() {
    static Store* store = new Store; // never destroyed: hosts may still call from static destructors
    return *store;
}

Store::Store() {
    pthread_atfork(&Store::BeforeFork, &Store::AfterFork, &Store::AfterFork);
}

// A SQLite connection must not cross a fork: the child would share the
// parent's lock bookkeeping. Close it before the fork (under the mutex, so no
// call is half done); each side reopens on its next call.
void Store::BeforeFork() {
    Store& store = Instance();
    store.mutex_.lock();
    store.connection_.reset();
}

void Store::AfterFork() {
    Instance().mutex_.unlock();
}

// Reads of a store that does not exist yet go to an empty one in memory, so
// that looking does not create the file.
sqlite3* Store::connect(bool write, Clock::time_point deadline) {
    std::string path = StorePath();
    bool current = connection_ && connection_->path() == path;
    if (!current || !connection_->onDisk()) {
        std::error_code ec;
        bool onDisk = write || std::filesystem::exists(path, ec) || ec;
        if (!current || onDisk) {
            connection_.reset();
            ++connections_;
            connection_ = Connection::Open(path, onDisk, deadline);
        }
    }
    connection_->waitUntil(deadline);
    return connection_->db();
}

int64_t Store::keyOf(sqlite3* db, HKEY key) const {
    int64_t id = IsPredefined(key) ? RootId(key) : handleId(key);
    if (!KeyExists(db, id)) throw Failure{ERROR_KEY_DELETED};
    return id;
}

// A handle is good only in the store it was opened in.
int64_t Store::handleId(HKEY key) const {
    auto it = handles_.find(key);
    if (it == handles_.end() || it->second.store != connection_->path()) throw Failure{ERROR_INVALID_HANDLE};
    return it->second.id;
}

HKEY Store::addHandle(int64_t id) {
    std::lock_guard lock(mutex_);
    do { // multiples of 4 below the predefined roots, never 0
        lastHandle_ = lastHandle_ >= 0x7ffffff0u ? 0x100 : lastHandle_ + 4;
    } while (handles_.contains(lastHandle_));
    handles_[lastHandle_] = {id, connection_ ? connection_->path() : StorePath()};
    return lastHandle_;
}

LONG Store::closeHandle(HKEY key) {
    if (IsPredefined(key)) return ERROR_SUCCESS;
    std::lock_guard lock(mutex_);
    cursors_.erase(key);
    return handles_.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

} // namespace velmora::reg::detail
