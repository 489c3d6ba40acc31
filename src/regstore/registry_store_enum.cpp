#include "regstore/registry_store_enum.h"

namespace velmora::reg::detail {
namespace {

enum class Step { Same, Next, Walk };

Step StepFrom(const EnumCursor& cursor, int64_t key, DWORD index, uint64_t connection) {
    if (cursor.key != key || cursor.connection != connection) return Step::Walk;
    if (index == cursor.index) return Step::Same;
    if (index == cursor.index + 1 && index != 0) return Step::Next;
    return Step::Walk;
}

void MoveTo(EnumCursor& cursor, int64_t key, DWORD index, uint64_t connection) {
    cursor.key = key;
    cursor.index = index;
    cursor.connection = connection;
}

} // namespace

std::optional<Value> ValueAtIndex(sqlite3* db, int64_t key, DWORD index, uint64_t connection,
                                  EnumCursor& cursor) {
    const Step step = StepFrom(cursor, key, index, connection);
    auto row =
        step == Step::Walk ? ValueAt(db, key, index) : ValueFrom(db, key, cursor.seq, step == Step::Same);
    if (!row) return std::nullopt;
    MoveTo(cursor, key, index, connection);
    cursor.seq = row->seq;
    return std::move(row->value);
}

std::optional<std::string> ChildAtIndex(sqlite3* db, int64_t parent, DWORD index, uint64_t connection,
                                        EnumCursor& cursor) {
    const Step step = StepFrom(cursor, parent, index, connection);
    auto name = step == Step::Walk ? ChildAt(db, parent, index)
                                   : ChildFrom(db, parent, cursor.name, step == Step::Same);
    if (!name) return std::nullopt;
    MoveTo(cursor, parent, index, connection);
    cursor.name = *name;
    return name;
}

} // namespace velmora::reg::detail
