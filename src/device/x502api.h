// The vendor's C interface to the E16 module (x502api / e502api), as the
// driver binds it at run time and as the simulator exports it. Every call
// but the version, create and error-string calls returns 0 or a negative code.
#pragma once

#include <cstdint>

// Every entry point, by the library that exports it (x502api or e502api).
#define X502API_ENTRIES(X)                                                                                   \
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

#define E502API_ENTRIES(X)                                                                                   \
    X(E16_OpenByIpAddr)                                                                                      \
    X(E16_UsbGetSerialList)                                                                                  \
    X(E16_OpenUsb)

extern "C" {

typedef struct t_x502* t_x502_hnd;

enum : uint32_t { X502_INFO_SIZE = 656 };

// Information record, 656 bytes, fields at the offsets the module uses.
typedef struct {
    char name[32];             // @0
    char serial[32];           // @32
    uint32_t devflags;         // @64, bit 0: DAC present
    uint16_t fpga_ver;         // @68, high byte major
    uint8_t plda_ver;          // @70
    uint8_t board_rev;         // @71
    uint32_t mcu_firmware_ver; // @72
    uint8_t factory_mac[6];    // @76
    uint8_t reserved[192 - 82];
    uint8_t calibration[464]; // @192
} t_x502_info;

enum : uint32_t { X502_DEVFLAGS_DAC_PRESENT = 1u };

// Stream bits.
enum : uint32_t {
    X502_STREAM_ADC = 1u,
    X502_STREAM_DIN = 2u,
    X502_STREAM_DAC1 = 16u,
    X502_STREAM_DAC2 = 32u,
    X502_STREAM_DOUT = 64u,
};

enum : uint32_t { X502_STREAM_CH_IN = 0u, X502_STREAM_CH_OUT = 1u };

// Logical channel modes and ranges (full scale 10, 2.5, 0.625, 0.15625 V).
enum : uint32_t { X502_LCH_MODE_COMM = 0u, X502_LCH_MODE_DIFF = 1u, X502_LCH_MODE_ZERO = 2u };
enum : uint32_t {
    X502_ADC_RANGE_10 = 0u,
    X502_ADC_RANGE_2_5 = 1u,
    X502_ADC_RANGE_0_6 = 2u,
    X502_ADC_RANGE_0_15 = 3u
};

enum : uint32_t { X502_PROC_FLAGS_VOLT = 1u };
enum : uint32_t { X502_DAC_FLAGS_VOLT = 1u, X502_DAC_FLAGS_CALIBR = 2u };
enum : uint32_t { X502_OUT_CYCLE_FLAGS_FORCE = 1u, X502_OUT_CYCLE_FLAGS_WAIT_DONE = 2u };
enum : uint32_t { X502_GETDEVS_FLAGS_ONLY_NOT_OPENED = 1u };

// Start synchronization codes.
enum : uint32_t {
    X502_SYNC_INTERNAL = 0u,
    X502_SYNC_EXTERNAL_MASTER = 1u,
    X502_SYNC_SYN1_RISE = 2u,
    X502_SYNC_SYN1_FALL = 3u,
    X502_SYNC_SYN2_RISE = 6u,
    X502_SYNC_SYN2_FALL = 7u,
    X502_SYNC_ADC_ABOVE_LEVEL = 8u,
    X502_SYNC_ADC_EDGE_RISE = 9u,
    X502_SYNC_ADC_EDGE_FALL = 10u,
    X502_SYNC_ADC_BELOW_LEVEL = 11u,
};

// Error codes returned by the library (0 is success). X502_GetErrorString
// gives the English text of each.
inline constexpr int32_t X502_ERR_OK = 0;
inline constexpr int32_t X502_ERR_INVALID_HANDLE = -1;
inline constexpr int32_t X502_ERR_MEMORY_ALLOC = -2;
inline constexpr int32_t X502_ERR_ALREADY_OPENED = -3;
inline constexpr int32_t X502_ERR_DEVICE_NOT_FOUND = -4;
inline constexpr int32_t X502_ERR_DEVICE_BUSY = -5;
inline constexpr int32_t X502_ERR_CONNECTION_REFUSED = -6;
inline constexpr int32_t X502_ERR_INVALID_POINTER = -7;
inline constexpr int32_t X502_ERR_STREAM_IS_RUNNING = -8;
inline constexpr int32_t X502_ERR_STREAM_IS_NOT_RUNNING = -9;
inline constexpr int32_t X502_ERR_STREAM_OVERFLOW = -10;
inline constexpr int32_t X502_ERR_CONNECTION_LOST = -11;
inline constexpr int32_t X502_ERR_DEVICE_NOT_OPENED = -12;
inline constexpr int32_t X502_ERR_INTERNAL = -13;
inline constexpr int32_t X502_ERR_INVALID_MODE = -14;
inline constexpr int32_t X502_ERR_INVALID_LTABLE_SIZE = -20;
inline constexpr int32_t X502_ERR_INVALID_LCH_NUMBER = -21;
inline constexpr int32_t X502_ERR_INVALID_LCH_RANGE = -22;
inline constexpr int32_t X502_ERR_INVALID_LCH_MODE = -23;
inline constexpr int32_t X502_ERR_INVALID_LCH_PHY_NUMBER = -24;
inline constexpr int32_t X502_ERR_INVALID_ADC_FREQ = -25;
inline constexpr int32_t X502_ERR_INVALID_REF_FREQ = -26;
inline constexpr int32_t X502_ERR_INVALID_SYNC_MODE = -27;
inline constexpr int32_t X502_ERR_INVALID_STREAM_CH = -28;
inline constexpr int32_t X502_ERR_INVALID_OUT_FREQ = -29;
inline constexpr int32_t X502_ERR_INVALID_DIN_FREQ = -30;
inline constexpr int32_t X502_ERR_INVALID_STREAMS = -31;
inline constexpr int32_t X502_ERR_ASYNC_TIMEOUT = -33;
inline constexpr int32_t X502_ERR_DAC_NOT_PRESENT = -40;
inline constexpr int32_t X502_ERR_INVALID_DAC_CHANNEL = -41;
inline constexpr int32_t X502_ERR_OUT_NOT_PREPARED = -42;
inline constexpr int32_t X502_ERR_OUT_CYCLE_NOT_LOADED = -43;
inline constexpr int32_t X502_ERR_OUT_CYCLE_INCOMPLETE = -44;
inline constexpr int32_t X502_ERR_INVALID_OUT_WORD = -45;
inline constexpr int32_t X502_ERR_INVALID_OUT_SIZE = -46;
inline constexpr int32_t X502_ERR_PREPARE_NO_DATA = -47;
inline constexpr int32_t X502_ERR_FLASH_INVALID_ADDR = -50;
inline constexpr int32_t X502_ERR_FLASH_INVALID_SIZE = -51;
inline constexpr int32_t X502_ERR_FLASH_SECTOR_BOUNDARY = -52;
inline constexpr int32_t X502_ERR_FLASH_WRITE_PROTECTED = -53;

uint32_t X502_GetLibraryVersion(void);
t_x502_hnd X502_Create(void);
int32_t X502_Free(t_x502_hnd h);
int32_t X502_Close(t_x502_hnd h);
int32_t E16_OpenByIpAddr(t_x502_hnd h, uint32_t ip, uint32_t flags, uint32_t tout_ms);
int32_t E16_UsbGetSerialList(char serials[][32], uint32_t size, uint32_t flags, uint32_t* devcnt);
int32_t E16_OpenUsb(t_x502_hnd h, const char* serial);
int32_t X502_SetMode(t_x502_hnd h, uint32_t mode);
int32_t X502_Configure(t_x502_hnd h, uint32_t flags);
int32_t X502_GetDevInfo(t_x502_hnd h, t_x502_info* info);
int32_t X502_StreamsStart(t_x502_hnd h);
int32_t X502_StreamsStop(t_x502_hnd h);
int32_t X502_StreamsEnable(t_x502_hnd h, uint32_t streams);
int32_t X502_StreamsDisable(t_x502_hnd h, uint32_t streams);
int32_t X502_FlashWriteEnable(t_x502_hnd h);
int32_t X502_FlashWriteDisable(t_x502_hnd h);
int32_t X502_LedBlink(t_x502_hnd h);
const char* X502_GetErrorString(int32_t err);
int32_t X502_GetRecvReadyCount(t_x502_hnd h, uint32_t* rdy_cnt);
int32_t X502_GetSendReadyCount(t_x502_hnd h, uint32_t* rdy_cnt);
int32_t X502_GetNextExpectedLchNum(t_x502_hnd h, uint32_t* lch);
int32_t X502_Recv(t_x502_hnd h, uint32_t* buf, uint32_t size, uint32_t tout);
int32_t X502_Send(t_x502_hnd h, const uint32_t* buf, uint32_t size, uint32_t tout);
int32_t X502_ProcessAdcData(t_x502_hnd h, const uint32_t* src, double* dest, uint32_t* size, uint32_t flags);
int32_t X502_SetStreamStep(t_x502_hnd h, uint32_t ch, uint32_t step);
int32_t X502_SetStreamBufSize(t_x502_hnd h, uint32_t ch, uint32_t size);
int32_t X502_AsyncGetAdcFrame(t_x502_hnd h, uint32_t flags, uint32_t tout, double* data);
int32_t X502_SetRefFreq(t_x502_hnd h, uint32_t freq);
int32_t X502_SetAdcFreq(t_x502_hnd h, double* f_acq, double* f_frame);
int32_t X502_SetLChannelCount(t_x502_hnd h, uint32_t lch_cnt);
int32_t X502_SetLChannel(t_x502_hnd h, uint32_t lch, uint32_t phy_ch, uint32_t mode, uint32_t range,
                         uint32_t avg);
int32_t X502_SetSyncMode(t_x502_hnd h, uint32_t sync_mode);
int32_t X502_SetSyncStartMode(t_x502_hnd h, uint32_t sync_start_mode);
int32_t X502_SetAdcSyncStartValue(t_x502_hnd h, uint32_t phy_ch, uint32_t mode, uint32_t range, double value);
int32_t X502_AsyncInDig(t_x502_hnd h, uint32_t* din);
int32_t X502_AsyncOutDig(t_x502_hnd h, uint32_t val, uint32_t msk);
int32_t X502_SetDinFreq(t_x502_hnd h, double* f_din);
int32_t X502_SetOutFreq(t_x502_hnd h, double* f_dout);
int32_t X502_SetDigInPullup(t_x502_hnd h, uint32_t pullups);
int32_t X502_FlashRead(t_x502_hnd h, uint32_t addr, uint8_t* data, uint32_t size);
int32_t X502_FlashWrite(t_x502_hnd h, uint32_t addr, const uint8_t* data, uint32_t size);
int32_t X502_FlashErase(t_x502_hnd h, uint32_t addr, uint32_t size);
int32_t X502_OutCycleSetup(t_x502_hnd h, uint32_t flags);
int32_t X502_OutCycleLoadStart(t_x502_hnd h, uint32_t size);
int32_t X502_PrepareData(t_x502_hnd h, const double* dac1, const double* dac2, const uint32_t* dout,
                         uint32_t size, int32_t flags, uint32_t* out_buf);
int32_t X502_PreloadStart(t_x502_hnd h);
int32_t X502_AsyncOutDac(t_x502_hnd h, uint32_t ch, double data, uint32_t flags);

} // extern "C"

static_assert(sizeof(t_x502_info) == X502_INFO_SIZE, "information record layout");
