// VendorApi: the vendor C interface as a table of function pointers, bound at
// run time from x502api/e502api or, when those are absent, the simulator.
// A filled table is immutable; the process table is built once, thread-safely.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "device/x502api.h"

// Entry points of x502api, looked up there first.
#define VELMORA_X502_ENTRIES(X)                                                                              \
    X(X502_GetLibraryVersion)                                                                                \
    X(X502_Create)                                                                                           \
    X(X502_Free)                                                                                             \
    X(X502_Close)                                                                                            \
    X(X502_SetMode)                                                                                          \
    X(X502_Configure)                                                                                        \
    X(X502_GetDevInfo)                                                                                       \
    X(X502_StreamsStart)                                                                                     \
    X(X502_StreamsStop)                                                                                      \
    X(X502_StreamsEnable)                                                                                    \
    X(X502_StreamsDisable)                                                                                   \
    X(X502_FlashWriteEnable)                                                                                 \
    X(X502_FlashWriteDisable)                                                                                \
    X(X502_LedBlink)                                                                                         \
    X(X502_GetErrorString)                                                                                   \
    X(X502_GetRecvReadyCount)                                                                                \
    X(X502_GetSendReadyCount)                                                                                \
    X(X502_GetNextExpectedLchNum)                                                                            \
    X(X502_Recv)                                                                                             \
    X(X502_Send)                                                                                             \
    X(X502_ProcessAdcData)                                                                                   \
    X(X502_SetStreamStep)                                                                                    \
    X(X502_SetStreamBufSize)                                                                                 \
    X(X502_AsyncGetAdcFrame)                                                                                 \
    X(X502_SetRefFreq)                                                                                       \
    X(X502_SetAdcFreq)                                                                                       \
    X(X502_SetLChannelCount)                                                                                 \
    X(X502_SetLChannel)                                                                                      \
    X(X502_SetSyncMode)                                                                                      \
    X(X502_SetSyncStartMode)                                                                                 \
    X(X502_SetAdcSyncStartValue)                                                                             \
    X(X502_AsyncInDig)                                                                                       \
    X(X502_AsyncOutDig)                                                                                      \
    X(X502_SetDinFreq)                                                                                       \
    X(X502_SetOutFreq)                                                                                       \
    X(X502_SetDigInPullup)                                                                                   \
    X(X502_FlashRead)                                                                                        \
    X(X502_FlashWrite)                                                                                       \
    X(X502_FlashErase)                                                                                       \
    X(X502_OutCycleSetup)                                                                                    \
    X(X502_OutCycleLoadStart)                                                                                \
    X(X502_PrepareData)                                                                                      \
    X(X502_PreloadStart)                                                                                     \
    X(X502_AsyncOutDac)

// Entry points of e502api, looked up there first.
#define VELMORA_E16_ENTRIES(X)                                                                               \
    X(E16_OpenByIpAddr)                                                                                      \
    X(E16_UsbGetSerialList)                                                                                  \
    X(E16_OpenUsb)

namespace velmora::device {

// Code given by an operation whose library or entry point is missing. It lies
// far below the vendor's own codes so the two never meet.
inline constexpr int32_t kVendorUnreachable = -10000;
inline constexpr const char* kVendorUnreachableText =
    "The vendor library or one of its functions cannot be found";

// Where to look for the libraries: each list is tried in order and the first
// file that loads wins. The simulator is tried only when neither vendor
// library loaded.
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
    VELMORA_X502_ENTRIES(VELMORA_VENDOR_MEMBER)
    VELMORA_E16_ENTRIES(VELMORA_VENDOR_MEMBER)
#undef VELMORA_VENDOR_MEMBER

    // Files that were loaded, in the order found (empty: nothing reachable).
    std::vector<std::string> libraries;
    bool simulator = false;

    // Binds every entry it can find; a missing one stays null. Libraries stay
    // loaded for the life of the process, so copies of a table stay valid.
    static VendorApi Load(const VendorLibraryPaths& paths);

    // The table of this process, loaded on first use from the driver's folder.
    static const VendorApi& Process();
};

} // namespace velmora::device
