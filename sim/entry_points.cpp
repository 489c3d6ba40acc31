#include "entry_points.h"

#include <array>
#include <atomic>
#include <cstring>

namespace e16sim {
namespace {

constexpr auto kCount = static_cast<size_t>(Entry::Count);

constexpr std::array<const char*, kCount> kNames = {
#define E16SIM_NAME_ENTRY(name) #name,
    E16SIM_ENTRY_POINTS(E16SIM_NAME_ENTRY)
#undef E16SIM_NAME_ENTRY
};

// Relaxed ordering: each counter and code stands alone; nothing is published through them.
std::array<std::atomic<int64_t>, kCount> g_calls{};
std::array<std::atomic<int32_t>, kCount> g_faults{};

size_t index(Entry entry) {
    return static_cast<size_t>(entry);
}

} // namespace

int32_t beginCall(Entry entry) {
    g_calls[index(entry)].fetch_add(1, std::memory_order_relaxed);
    return g_faults[index(entry)].load(std::memory_order_relaxed);
}

bool findEntry(const char* name, Entry* entry) {
    if (name == nullptr) return false;
    for (size_t i = 0; i < kCount; ++i) {
        if (std::strcmp(kNames[i], name) == 0) {
            *entry = static_cast<Entry>(i);
            return true;
        }
    }
    return false;
}

int64_t callCount(Entry entry) {
    return g_calls[index(entry)].load(std::memory_order_relaxed);
}

void resetCallCounts() {
    for (auto& c : g_calls) c.store(0, std::memory_order_relaxed);
}

void setInjectedFault(Entry entry, int32_t code) {
    g_faults[index(entry)].store(code, std::memory_order_relaxed);
}

void clearInjectedFaults() {
    for (auto& f : g_faults) f.store(0, std::memory_order_relaxed);
}

} // namespace e16sim
