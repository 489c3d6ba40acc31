// The table of the library's entry points, with a call counter and an
// injectable failure code per entry. Counters and fault codes are atomics
// (relaxed: each is an independent statistic or switch), so any thread may use them.
#pragma once

#include <cstdint>

#define E16SIM_ENTRY_POINTS(X)                                                                               \
    X(X502_GetLibraryVersion)                                                                                \
    X(X502_Create)                                                                                           \
    X(X502_Free)                                                                                             \
    X(X502_Close)                                                                                            \
    X(E16_OpenByIpAddr)                                                                                      \
    X(E16_UsbGetSerialList)                                                                                  \
    X(E16_OpenUsb)                                                                                           \
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
