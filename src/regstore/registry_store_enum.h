// Enumeration by index in O(log n) a step: each handle keeps where its last
// enumeration stood, and index i after i - 1 (or i again, after
// ERROR_MORE_DATA) seeks past that row instead of walking i rows from the
// first. Any other index walks. Not thread-safe: callers hold the store's mutex.
#pragma once

#include "regstore/registry_store_tree.h"

#include <cstdint>
#include <optional>
#include <string>

struct sqlite3;

namespace velmora::reg::detail {

// Where an enumeration of one key stood: its last index and that row's place.
// Only a hint: a cursor of another key or another connection is not used.
struct EnumCursor {
    int64_t key = 0; // 0: none
    uint64_t connection = 0;
    DWORD index = 0;
    int64_t seq = 0;  // values
    std::string name; // sub-keys
};

struct HandleCursors {
    EnumCursor values, subKeys;
};

// The row at index, the cursor moved to it. A row removed or added between
// two steps neither stops the enumeration nor brings a row back: the
// next step seeks past the last row served, wherever it went.
std::optional<Value> ValueAtIndex(sqlite3* db, int64_t key, DWORD index, uint64_t connection,
                                  EnumCursor& cursor);
std::optional<std::string> ChildAtIndex(sqlite3* db, int64_t parent, DWORD index, uint64_t connection,
                                        EnumCursor& cursor);

} // namespace velmora::reg::detail
