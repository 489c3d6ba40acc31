#include "regstore/registry_store_tree.h"

#include "regstore/registry_store_db.h"

#include <sqlite3.h>

namespace velmora::reg::detail {
namespace {

constexpr int64_t kSchemaVersion = 2;

// A store of an older version gets what is missing: every statement is
// "if not exists". Key ids never come back (AUTOINCREMENT), so a handle to a deleted key can
// never land on a newer one. NOCASE folds ASCII only, as the registry does.
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    parent INTEGER,
    name TEXT NOT NULL COLLATE NOCASE,
    UNIQUE(parent, name));
CREATE TABLE IF NOT EXISTS vals(
    seq INTEGER PRIMARY KEY AUTOINCREMENT,
    key INTEGER NOT NULL,
    name TEXT NOT NULL COLLATE NOCASE,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    UNIQUE(key, name));
CREATE INDEX IF NOT EXISTS vals_in_order ON vals(key, seq);
INSERT OR IGNORE INTO keys(id, parent, name) VALUES
    (1, NULL, 'HKEY_CLASSES_ROOT'), (2, NULL, 'HKEY_CURRENT_USER'), (3, NULL, 'HKEY_LOCAL_MACHINE'),
    (4, NULL, 'HKEY_USERS'), (5, NULL, 'HKEY_PERFORMANCE_DATA'), (6, NULL, 'HKEY_CURRENT_CONFIG'),
    (7, NULL, 'HKEY_DYN_DATA');
PRAGMA user_version = 2;
)sql";

int64_t SchemaVersion(sqlite3* db) {
    Stmt stmt(db, "PRAGMA user_version");
    return stmt.step() ? stmt.integer(0) : 0;
}

Value ValueFromRow(const Stmt& stmt) {
    auto bytes = stmt.blob(2);
    return {stmt.text(0), static_cast<DWORD>(stmt.integer(1)), {bytes.begin(), bytes.end()}};
}

std::optional<ValueRow> ValueRowFrom(Stmt& stmt) {
    if (!stmt.step()) return std::nullopt;
    return ValueRow{stmt.integer(3), ValueFromRow(stmt)};
}

// Walks of the tree (an export, a deletion with sub-keys) end because every
// sub-key name is unique below its key and opens that one child, one level
// deeper. A file that does not keep this (damaged pages or indexes, a name
// that a path cannot spell, duplicate names, views or triggers in place of
// the store's tables) is corrupt: every call fails rather than walk in circles.
// Names pass the API as C strings: one holding a NUL would name another key.
constexpr const char* kBrokenShape[] = {
    "SELECT 1 FROM sqlite_master WHERE type IN ('view', 'trigger')"
    " OR (name IN ('keys', 'vals') AND (type <> 'table' OR sql NOT LIKE 'CREATE TABLE%')) LIMIT 1",
    "SELECT 1 FROM keys WHERE id > 7 AND (typeof(name) <> 'text' OR name = '' OR instr(name, '\\') > 0"
    " OR instr(CAST(name AS BLOB), x'00') > 0 OR length(CAST(name AS BLOB)) > 255) LIMIT 1",
    "SELECT 1 FROM keys GROUP BY parent, name COLLATE NOCASE HAVING count(*) > 1 LIMIT 1",
    "SELECT 1 FROM vals WHERE typeof(name) <> 'text' OR instr(CAST(name AS BLOB), x'00') > 0"
    " OR typeof(type) <> 'integer' OR typeof(data) <> 'blob' LIMIT 1",
};

void CheckShape(sqlite3* db) {
    Stmt integrity(db, "PRAGMA integrity_check(1)");
    if (!integrity.step() || integrity.text(0) != "ok") throw Failure{ERROR_REGISTRY_CORRUPT};
    for (const char* sql : kBrokenShape)
        if (Stmt(db, sql).step()) throw Failure{ERROR_REGISTRY_CORRUPT};
}

} // namespace

// Checked after creation too: a file without the version mark may still hold
// tables, which CREATE TABLE IF NOT EXISTS keeps as they are.
void InitSchema(sqlite3* db, Clock::time_point deadline) {
    if (SchemaVersion(db) < kSchemaVersion) {
        EnterWalMode(db, deadline);
        Transaction transaction(db, true);
        Exec(db, kSchema);
        transaction.commit();
    }
    CheckShape(db);
}

bool KeyExists(sqlite3* db, int64_t id) {
    Stmt stmt(db, "SELECT 1 FROM keys WHERE id = ?");
    return stmt.bind(1, id).step();
}

std::optional<int64_t> FindChild(sqlite3* db, int64_t parent, std::string_view name) {
    Stmt stmt(db, "SELECT id FROM keys WHERE parent = ? AND name = ?");
    if (!stmt.bind(1, parent).bind(2, name).step()) return std::nullopt;
    return stmt.integer(0);
}

int64_t AddChild(sqlite3* db, int64_t parent, std::string_view name) {
    Stmt stmt(db, "INSERT INTO keys(parent, name) VALUES(?, ?)");
    stmt.bind(1, parent).bind(2, name).step();
    return sqlite3_last_insert_rowid(db);
}

bool HasChildren(sqlite3* db, int64_t id) {
    Stmt stmt(db, "SELECT 1 FROM keys WHERE parent = ? LIMIT 1");
    return stmt.bind(1, id).step();
}

void RemoveKey(sqlite3* db, int64_t id) {
    Stmt(db, "DELETE FROM vals WHERE key = ?").bind(1, id).step();
    Stmt(db, "DELETE FROM keys WHERE id = ?").bind(1, id).step();
}

std::optional<std::string> ChildAt(sqlite3* db, int64_t parent, DWORD index) {
    Stmt stmt(db, "SELECT name FROM keys WHERE parent = ? ORDER BY name LIMIT 1 OFFSET ?");
    if (!stmt.bind(1, parent).bind(2, int64_t{index}).step()) return std::nullopt;
    return stmt.text(0);
}

// The comparison takes the column's NOCASE collation, so the order is the
// enumeration's and the (parent, name) index serves the range.
std::optional<std::string> ChildFrom(sqlite3* db, int64_t parent, std::string_view name, bool inclusive) {
    Stmt stmt(db, inclusive ? "SELECT name FROM keys WHERE parent = ? AND name >= ? ORDER BY name LIMIT 1"
                            : "SELECT name FROM keys WHERE parent = ? AND name > ? ORDER BY name LIMIT 1");
    if (!stmt.bind(1, parent).bind(2, name).step()) return std::nullopt;
    return stmt.text(0);
}

std::optional<Value> FindValue(sqlite3* db, int64_t key, std::string_view name) {
    Stmt stmt(db, "SELECT name, type, data FROM vals WHERE key = ? AND name = ?");
    if (!stmt.bind(1, key).bind(2, name).step()) return std::nullopt;
    return ValueFromRow(stmt);
}

std::optional<ValueRow> ValueAt(sqlite3* db, int64_t key, DWORD index) {
    Stmt stmt(db, "SELECT name, type, data, seq FROM vals WHERE key = ? ORDER BY seq LIMIT 1 OFFSET ?");
    stmt.bind(1, key).bind(2, int64_t{index});
    return ValueRowFrom(stmt);
}

std::optional<ValueRow> ValueFrom(sqlite3* db, int64_t key, int64_t seq, bool inclusive) {
    Stmt stmt(db,
              inclusive
                  ? "SELECT name, type, data, seq FROM vals WHERE key = ? AND seq >= ? ORDER BY seq LIMIT 1"
                  : "SELECT name, type, data, seq FROM vals WHERE key = ? AND seq > ? ORDER BY seq LIMIT 1");
    stmt.bind(1, key).bind(2, seq);
    return ValueRowFrom(stmt);
}

void AllValues(sqlite3* db, int64_t key, std::vector<Value>& out) {
    Stmt stmt(db, "SELECT name, type, data FROM vals WHERE key = ? ORDER BY seq");
    stmt.bind(1, key);
    while (stmt.step()) out.push_back(ValueFromRow(stmt));
}

void PutValue(sqlite3* db, int64_t key, std::string_view name, DWORD type, std::span<const BYTE> data) {
    // An upsert, not a replace: the row keeps its sequence number (its place
    // in the enumeration) and its name's case.
    Stmt stmt(db, "INSERT INTO vals(key, name, type, data) VALUES(?, ?, ?, ?) "
                  "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data");
    stmt.bind(1, key).bind(2, name).bind(3, int64_t{type}).bindBlob(4, data).step();
}

bool RemoveValue(sqlite3* db, int64_t key, std::string_view name) {
    Stmt(db, "DELETE FROM vals WHERE key = ? AND name = ?").bind(1, key).bind(2, name).step();
    return sqlite3_changes(db) > 0;
}

KeyInfo Info(sqlite3* db, int64_t key) {
    // Lengths in bytes: names are single-byte text, and length() of a blob
    // reads only its header.
    Stmt stmt(db, "SELECT (SELECT count(*) FROM keys WHERE parent = ?1),"
                  " (SELECT coalesce(max(length(CAST(name AS BLOB))), 0) FROM keys WHERE parent = ?1),"
                  " (SELECT count(*) FROM vals WHERE key = ?1),"
                  " (SELECT coalesce(max(length(CAST(name AS BLOB))), 0) FROM vals WHERE key = ?1),"
                  " (SELECT coalesce(max(length(data)), 0) FROM vals WHERE key = ?1)");
    stmt.bind(1, key).step();
    auto at = [&](int column) { return static_cast<DWORD>(stmt.integer(column)); };
    return {at(0), at(1), at(2), at(3), at(4)};
}

} // namespace velmora::reg::detail
