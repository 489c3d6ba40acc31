// VendorApi: the vendor C interface as a table of function pointers, bound at
// run time from x502api/e502api or, when those are absent, the simulator.
// A filled table is immutable; the process table is built once, thread-safely.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "device/x502api.h"

namespace velmora::device {

// Code given by an operation whose library or entry point is missing. It lies
// far below the vendor's own codes so the two never meet.
inline constexpr int32_t kVendorUnreachable = -10000;
inline constexpr const char* kVendorUnreachableText =
    "The vendor library or one of its functions cannot be found";

// Where to look for the libraries: each list is tried in order and the first
// file that loads wins. The simulator is tried only when neither vendor
// library loaded and neither is there at all: a vendor library that is
// there but does not load is a broken install, whose module simulated data
// must not stand in for.
struct VendorLibraryPaths {
    std::vector<std::string> x502;
    std::vector<std::string> e502;
    std::vector<std::string> simulator;
};

// The standard search: the driver's folder, then the system library path for
// the vendor libraries; the simulator only from the driver's folder.
VendorLibraryPaths DefaultVendorPaths(const std::filesystem::path& driverFolder);

struct VendorApi {
#define VELMORA_VENDOR_MEMBER(name) decltype(&::name) name = nullptr;
    X502API_ENTRIES(VELMORA_VENDOR_MEMBER)
    E502API_ENTRIES(VELMORA_VENDOR_MEMBER)
#undef VELMORA_VENDOR_MEMBER

    // Files that were loaded, in the order found (empty: nothing reachable).
    std::vector<std::string> libraries;
    bool simulator = false;
    // With nothing loaded: the first library that is there but would not
    // load, and the loader's reason ("FILE does not load: REASON").
    std::string unloadable;
    // Entries none of the loaded libraries has, in table order.
    std::vector<std::string> missing;

    // The text of kVendorUnreachable, naming what is missing and where it
    // was looked for when a library loaded.
    std::string UnreachableText() const;

    // Binds every entry it can find; a missing one stays null. Libraries stay
    // loaded for the life of the process, so copies of a table stay valid.
    static VendorApi Load(const VendorLibraryPaths& paths);

    // The table of this process, loaded on first use from the driver's folder.
    static const VendorApi& Process();
};

} // namespace velmora::device
