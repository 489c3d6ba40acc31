// The key tree of the registry store as database rows: keys and values found,
// added and removed by stable key id. Not thread-safe: callers hold the store's
// mutex and run each call inside a transaction.
#pragma once

#include "regstore/registry_store_db.h"

#include <velmora/registry_store.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace velmora::reg::detail {

// The predefined roots are rows 1..7, in the order of their handles.
inline constexpr int64_t kRootCount = 7;
inline constexpr bool IsPredefined(HKEY key) {
    return key >= HKEY_CLASSES_ROOT && key <= HKEY_DYN_DATA;
}
inline constexpr int64_t RootId(HKEY root) {
    return static_cast<int64_t>(root - HKEY_CLASSES_ROOT) + 1;
}
inline constexpr bool IsRootId(int64_t id) {
    return id >= 1 && id <= kRootCount;
}
// Only HKEY_CLASSES_ROOT and HKEY_CURRENT_USER keep anything; the other roots
// stay empty and refuse writes.
inline constexpr bool IsFrozenRoot(int64_t id) {
    return id > RootId(HKEY_CURRENT_USER) && id <= kRootCount;
}

using Value = RegValueEntry;

// A value with its place in the creation order.
struct ValueRow {
    int64_t seq;
    Value value;
};

struct KeyInfo {
    DWORD subKeys = 0, maxSubKeyLen = 0, values = 0, maxValueNameLen = 0, maxValueLen = 0;
};

// Creates the tables and root rows of a new database, or what an older one
// lacks. One that is present must have the shape every walk of its keys
// relies on, else it is corrupt (Failure ERROR_REGISTRY_CORRUPT).
void InitSchema(sqlite3* db, Clock::time_point deadline);

bool KeyExists(sqlite3* db, int64_t id);
std::optional<int64_t> FindChild(sqlite3* db, int64_t parent, std::string_view name);
int64_t AddChild(sqlite3* db, int64_t parent, std::string_view name);
bool HasChildren(sqlite3* db, int64_t id);
// Removes a key without sub-keys, with its values.
void RemoveKey(sqlite3* db, int64_t id);
// Sub-key names in case-insensitive name order: the one at index (a walk of
// index rows), or the first at or after name (a seek).
std::optional<std::string> ChildAt(sqlite3* db, int64_t parent, DWORD index);
std::optional<std::string> ChildFrom(sqlite3* db, int64_t parent, std::string_view name, bool inclusive);

std::optional<Value> FindValue(sqlite3* db, int64_t key, std::string_view name);
// Values in creation order; overwriting a value keeps its place. The one at
// index (a walk of index rows), or the first at or after seq (a seek).
std::optional<ValueRow> ValueAt(sqlite3* db, int64_t key, DWORD index);
std::optional<ValueRow> ValueFrom(sqlite3* db, int64_t key, int64_t seq, bool inclusive);
// Every value of key in creation order, appended to out: one statement.
void AllValues(sqlite3* db, int64_t key, std::vector<Value>& out);
void PutValue(sqlite3* db, int64_t key, std::string_view name, DWORD type, std::span<const BYTE> data);
bool RemoveValue(sqlite3* db, int64_t key, std::string_view name);

KeyInfo Info(sqlite3* db, int64_t key);

} // namespace velmora::reg::detail
