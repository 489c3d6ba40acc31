// The table of the library's entry points, with a call counter and an
// injectable failure code per entry. Counters and fault codes are atomics
// (relaxed: each is an independent statistic or switch), so any thread may use them.
#pragma once

#include <cstdint>

#include "device/x502api.h"

#define E16SIM_ENTRY_POINTS(X) X502API_ENTRIES(X) E502API_ENTRIES(X)

namespace e16sim {

enum class Entry : uint32_t {
#define E16SIM_ENUM_ENTRY(name) name,
    E16SIM_ENTRY_POINTS(E16SIM_ENUM_ENTRY)
#undef E16SIM_ENUM_ENTRY
        Count
};

// Counts one call of the entry and returns its injected failure code (0: none).
int32_t beginCall(Entry entry);

// Entry by its exported name; false when no entry has that name.
bool findEntry(const char* name, Entry* entry);

int64_t callCount(Entry entry);
void resetCallCounts();
void setInjectedFault(Entry entry, int32_t code);
void clearInjectedFaults();

} // namespace e16sim
