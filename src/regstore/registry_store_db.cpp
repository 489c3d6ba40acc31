#include "regstore/registry_store_db.h"

#include "regstore/registry_store_tree.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <thread>

#include <sqlite3.h>

namespace velmora::reg::detail {
namespace {

// Short sleeps first, as most writes by others end within a few ms.
constexpr std::chrono::milliseconds kLongestSleep{20};

std::chrono::milliseconds Pause(int attempts) {
    return std::min(std::chrono::milliseconds{1 << std::min(attempts, 5)}, kLongestSleep);
}

// False when the deadline has passed; otherwise sleeps a little, never past it.
bool PauseBefore(Clock::time_point deadline, int attempts) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return false;
    std::this_thread::sleep_for(std::min<Clock::duration>(left, Pause(attempts)));
    return true;
}

void MakeFolder(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    if (ec) throw Failure{Win32FromErrno(ec.value())};
}

} // namespace

LONG Win32FromErrno(int err) {
    switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case ENOENT:
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_REGISTRY_IO_FAILED;
    }
}

LONG Win32Code(sqlite3* db, int rc) {
    switch (rc & 0xff) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
        return ERROR_REGISTRY_CORRUPT;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return ERROR_ACCESS_DENIED;
    case SQLITE_NOMEM:
    case SQLITE_TOOBIG:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_FULL:
        return ERROR_DISK_FULL;
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR:
        return db ? Win32FromErrno(sqlite3_system_errno(db)) : ERROR_REGISTRY_IO_FAILED;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ERROR_LOCK_VIOLATION; // another connection held its lock past the call's wait
    default:
        return ERROR_REGISTRY_IO_FAILED;
    }
}

void Exec(sqlite3* db, const char* sql) {
    int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throw Failure{Win32Code(db, rc)};
}

// The switch to WAL does not wait on the busy handler, so two processes
// making a new store at once can meet here: retry within the same bound.
void EnterWalMode(sqlite3* db, Clock::time_point deadline) {
    for (int attempts = 0;; ++attempts) {
        int rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) return;
        if ((rc & 0xff) != SQLITE_BUSY || !PauseBefore(deadline, attempts)) throw Failure{Win32Code(db, rc)};
    }
}

int Connection::OnBusy(void* self, int attempts) {
    return PauseBefore(static_cast<Connection*>(self)->deadline_, attempts) ? 1 : 0;
}

std::unique_ptr<Connection> Connection::Open(const std::string& path, bool onDisk,
                                             Clock::time_point deadline) {
    if (onDisk) MakeFolder(path);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(onDisk ? path.c_str() : ":memory:", &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    // Closes db on any failure.
    std::unique_ptr<Connection> connection(new Connection(db, path, onDisk, deadline));
    if (rc != SQLITE_OK) throw Failure{Win32Code(db, rc)};
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_handler(db, &Connection::OnBusy, connection.get());
    // Each write goes on into the store's file at once: a process leaves its
    // connection open to the end, and a copy of registry.db alone (a backup)
    // would otherwise hold none of what sat in the write-ahead log.
    sqlite3_wal_autocheckpoint(db, 1);
    InitSchema(db, deadline);
    return connection;
}

Connection::~Connection() {
    sqlite3_close_v2(db_);
}

Stmt::Stmt(sqlite3* db, const char* sql) : db_(db) {
    int rc = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
    if (rc != SQLITE_OK) throw Failure{Win32Code(db, rc)};
}

Stmt::~Stmt() {
    sqlite3_finalize(stmt_);
}

Stmt& Stmt::bind(int index, int64_t value) {
    sqlite3_bind_int64(stmt_, index, value);
    return *this;
}

Stmt& Stmt::bind(int index, std::string_view text) {
    // A null pointer would bind NULL; the empty name is a real name.
    const char* data = text.empty() ? "" : text.data();
    sqlite3_bind_text64(stmt_, index, data, text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    return *this;
}

Stmt& Stmt::bindBlob(int index, std::span<const uint8_t> bytes) {
    if (bytes.empty())
        sqlite3_bind_zeroblob(stmt_, index, 0);
    else
        sqlite3_bind_blob64(stmt_, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
    return *this;
}

bool Stmt::step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw Failure{Win32Code(db_, rc)};
}

int64_t Stmt::integer(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

std::string Stmt::text(int column) const {
    auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return data ? std::string(data, static_cast<size_t>(sqlite3_column_bytes(stmt_, column))) : std::string();
}

std::span<const uint8_t> Stmt::blob(int column) const {
    auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(stmt_, column));
    return {data, data ? static_cast<size_t>(sqlite3_column_bytes(stmt_, column)) : 0};
}

Transaction::Transaction(sqlite3* db, bool write) : db_(db) {
    Exec(db, write ? "BEGIN IMMEDIATE" : "BEGIN");
}

Transaction::~Transaction() {
    if (open_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit() {
    Exec(db_, "COMMIT");
    open_ = false;
}

} // namespace velmora::reg::detail
