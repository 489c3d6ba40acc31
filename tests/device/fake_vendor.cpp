#include "fake_vendor.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace velmora::test {
namespace {

FakeVendor& F() {
    return FakeVendor::Get();
}

template <typename... A> int32_t Rec(const char* name, A... args) {
    std::ostringstream text;
    text << name << '(';
    [[maybe_unused]] const char* sep = "";
    ((text << sep << args, sep = ","), ...);
    text << ')';
    F().calls.push_back(text.str());
    const auto it = F().results.find(name);
    return it == F().results.end() ? 0 : it->second;
}

const char* Present(const void* p) {
    return p != nullptr ? "data" : "-";
}

uint32_t FGetLibraryVersion() {
    return F().version;
}
t_x502_hnd FCreate() {
    Rec("X502_Create");
    return F().createFails ? nullptr : FakeVendor::FakeHandle();
}
int32_t FFree(t_x502_hnd) {
    return Rec("X502_Free");
}
int32_t FClose(t_x502_hnd) {
    return Rec("X502_Close");
}
int32_t FOpenByIpAddr(t_x502_hnd, uint32_t ip, uint32_t flags, uint32_t tout) {
    return Rec("E16_OpenByIpAddr", ip, flags, tout);
}
int32_t FUsbGetSerialList(char serials[][32], uint32_t size, uint32_t flags, uint32_t* count) {
    const int32_t code = Rec("E16_UsbGetSerialList", size, flags);
    const auto& list = F().usbSerials;
    *count = static_cast<uint32_t>(list.size());
    const uint32_t stored = std::min<uint32_t>(size, *count);
    for (uint32_t i = 0; i < stored; ++i) std::strncpy(serials[i], list[i].c_str(), 32);
    return code != 0 ? code : static_cast<int32_t>(stored);
}
int32_t FOpenUsb(t_x502_hnd, const char* serial) {
    return Rec("E16_OpenUsb", serial);
}
int32_t FSetMode(t_x502_hnd, uint32_t mode) {
    return Rec("X502_SetMode", mode);
}
int32_t FConfigure(t_x502_hnd, uint32_t flags) {
    return Rec("X502_Configure", flags);
}
int32_t FGetDevInfo(t_x502_hnd, t_x502_info* info) {
    *info = F().info;
    return Rec("X502_GetDevInfo");
}
int32_t FStreamsStart(t_x502_hnd) {
    return Rec("X502_StreamsStart");
}
int32_t FStreamsStop(t_x502_hnd) {
    return Rec("X502_StreamsStop");
}
int32_t FStreamsEnable(t_x502_hnd, uint32_t s) {
    return Rec("X502_StreamsEnable", s);
}
int32_t FStreamsDisable(t_x502_hnd, uint32_t s) {
    return Rec("X502_StreamsDisable", s);
}
int32_t FFlashWriteEnable(t_x502_hnd) {
    return Rec("X502_FlashWriteEnable");
}
int32_t FFlashWriteDisable(t_x502_hnd) {
    return Rec("X502_FlashWriteDisable");
}
int32_t FLedBlink(t_x502_hnd) {
    return Rec("X502_LedBlink");
}
const char* FGetErrorString(int32_t) {
    return F().errorText.c_str();
}
int32_t FGetRecvReadyCount(t_x502_hnd, uint32_t* n) {
    *n = F().recvReady;
    return Rec("X502_GetRecvReadyCount");
}
int32_t FGetSendReadyCount(t_x502_hnd, uint32_t* n) {
    *n = F().sendFree;
    return Rec("X502_GetSendReadyCount");
}
int32_t FGetNextExpectedLchNum(t_x502_hnd, uint32_t* lch) {
    *lch = 3;
    return Rec("X502_GetNextExpectedLchNum");
}
int32_t FRecv(t_x502_hnd, uint32_t*, uint32_t size, uint32_t tout) {
    return Rec("X502_Recv", size, tout);
}
int32_t FSend(t_x502_hnd, const uint32_t*, uint32_t size, uint32_t tout) {
    const int32_t code = Rec("X502_Send", size, tout);
    if (code < 0) return code;
    F().sendFree -= std::min(F().sendFree, size);
    return static_cast<int32_t>(size);
}
int32_t FProcessAdcData(t_x502_hnd, const uint32_t*, double*, uint32_t* size, uint32_t flags) {
    const int32_t code = Rec("X502_ProcessAdcData", *size, flags);
    *size = F().processCount;
    return code;
}
int32_t FSetStreamStep(t_x502_hnd, uint32_t ch, uint32_t step) {
    return Rec("X502_SetStreamStep", ch, step);
}
int32_t FSetStreamBufSize(t_x502_hnd, uint32_t ch, uint32_t n) {
    return Rec("X502_SetStreamBufSize", ch, n);
}
int32_t FAsyncGetAdcFrame(t_x502_hnd, uint32_t flags, uint32_t tout, double*) {
    return Rec("X502_AsyncGetAdcFrame", flags, tout);
}
int32_t FSetRefFreq(t_x502_hnd, uint32_t f) {
    return Rec("X502_SetRefFreq", f);
}
int32_t FSetAdcFreq(t_x502_hnd, double* acq, double* frame) {
    const int32_t code = Rec("X502_SetAdcFreq", *acq, *frame);
    *acq = 1000.0;
    *frame = 500.0;
    return code;
}
int32_t FSetLChannelCount(t_x502_hnd, uint32_t n) {
    return Rec("X502_SetLChannelCount", n);
}
int32_t FSetLChannel(t_x502_hnd, uint32_t l, uint32_t p, uint32_t m, uint32_t r, uint32_t a) {
    return Rec("X502_SetLChannel", l, p, m, r, a);
}
int32_t FSetSyncMode(t_x502_hnd, uint32_t m) {
    return Rec("X502_SetSyncMode", m);
}
int32_t FSetSyncStartMode(t_x502_hnd, uint32_t m) {
    return Rec("X502_SetSyncStartMode", m);
}
int32_t FSetAdcSyncStartValue(t_x502_hnd, uint32_t p, uint32_t m, uint32_t r, double v) {
    return Rec("X502_SetAdcSyncStartValue", p, m, r, v);
}
int32_t FAsyncInDig(t_x502_hnd, uint32_t* din) {
    *din = F().inDig;
    return Rec("X502_AsyncInDig");
}
int32_t FAsyncOutDig(t_x502_hnd, uint32_t v, uint32_t m) {
    return Rec("X502_AsyncOutDig", v, m);
}
int32_t FSetDinFreq(t_x502_hnd, double* f) {
    return Rec("X502_SetDinFreq", *f);
}
int32_t FSetOutFreq(t_x502_hnd, double* f) {
    return Rec("X502_SetOutFreq", *f);
}
int32_t FSetDigInPullup(t_x502_hnd, uint32_t b) {
    return Rec("X502_SetDigInPullup", b);
}
int32_t FFlashRead(t_x502_hnd, uint32_t addr, uint8_t* data, uint32_t size) {
    if (addr + size <= F().flash.size()) std::memcpy(data, F().flash.data() + addr, size);
    return Rec("X502_FlashRead", addr, size);
}
int32_t FFlashWrite(t_x502_hnd, uint32_t addr, const uint8_t* data, uint32_t size) {
    if (addr + size <= F().flash.size()) std::memcpy(F().flash.data() + addr, data, size);
    return Rec("X502_FlashWrite", addr, size);
}
int32_t FFlashErase(t_x502_hnd, uint32_t addr, uint32_t size) {
    if (addr + size <= F().flash.size()) std::fill_n(F().flash.begin() + addr, size, uint8_t{0xFF});
    return Rec("X502_FlashErase", addr, size);
}
int32_t FOutCycleSetup(t_x502_hnd, uint32_t flags) {
    return Rec("X502_OutCycleSetup", flags);
}
int32_t FOutCycleLoadStart(t_x502_hnd, uint32_t size) {
    return Rec("X502_OutCycleLoadStart", size);
}
int32_t FPrepareData(t_x502_hnd, const double* d1, const double* d2, const uint32_t* dout, uint32_t size,
                     int32_t flags, uint32_t*) {
    return Rec("X502_PrepareData", Present(d1), Present(d2), Present(dout), size, flags);
}
int32_t FPreloadStart(t_x502_hnd) {
    return Rec("X502_PreloadStart");
}
int32_t FAsyncOutDac(t_x502_hnd, uint32_t ch, double v, uint32_t flags) {
    return Rec("X502_AsyncOutDac", ch, v, flags);
}

} // namespace

FakeVendor& FakeVendor::Get() {
    static FakeVendor state;
    return state;
}

t_x502_hnd FakeVendor::FakeHandle() {
    static int anchor = 0;
    return reinterpret_cast<t_x502_hnd>(&anchor);
}

std::vector<std::string> FakeVendor::CallsOf(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& c : calls)
        if (c.rfind(prefix, 0) == 0) out.push_back(c);
    return out;
}

device::VendorApi FakeVendor::Table() {
    device::VendorApi api;
    api.X502_GetLibraryVersion = FGetLibraryVersion;
    api.X502_Create = FCreate;
    api.X502_Free = FFree;
    api.X502_Close = FClose;
    api.E16_OpenByIpAddr = FOpenByIpAddr;
    api.E16_UsbGetSerialList = FUsbGetSerialList;
    api.E16_OpenUsb = FOpenUsb;
    api.X502_SetMode = FSetMode;
    api.X502_Configure = FConfigure;
    api.X502_GetDevInfo = FGetDevInfo;
    api.X502_StreamsStart = FStreamsStart;
    api.X502_StreamsStop = FStreamsStop;
    api.X502_StreamsEnable = FStreamsEnable;
    api.X502_StreamsDisable = FStreamsDisable;
    api.X502_FlashWriteEnable = FFlashWriteEnable;
    api.X502_FlashWriteDisable = FFlashWriteDisable;
    api.X502_LedBlink = FLedBlink;
    api.X502_GetErrorString = FGetErrorString;
    api.X502_GetRecvReadyCount = FGetRecvReadyCount;
    api.X502_GetSendReadyCount = FGetSendReadyCount;
    api.X502_GetNextExpectedLchNum = FGetNextExpectedLchNum;
    api.X502_Recv = FRecv;
    api.X502_Send = FSend;
    api.X502_ProcessAdcData = FProcessAdcData;
    api.X502_SetStreamStep = FSetStreamStep;
    api.X502_SetStreamBufSize = FSetStreamBufSize;
    api.X502_AsyncGetAdcFrame = FAsyncGetAdcFrame;
    api.X502_SetRefFreq = FSetRefFreq;
    api.X502_SetAdcFreq = FSetAdcFreq;
    api.X502_SetLChannelCount = FSetLChannelCount;
    api.X502_SetLChannel = FSetLChannel;
    api.X502_SetSyncMode = FSetSyncMode;
    api.X502_SetSyncStartMode = FSetSyncStartMode;
    api.X502_SetAdcSyncStartValue = FSetAdcSyncStartValue;
    api.X502_AsyncInDig = FAsyncInDig;
    api.X502_AsyncOutDig = FAsyncOutDig;
    api.X502_SetDinFreq = FSetDinFreq;
    api.X502_SetOutFreq = FSetOutFreq;
    api.X502_SetDigInPullup = FSetDigInPullup;
    api.X502_FlashRead = FFlashRead;
    api.X502_FlashWrite = FFlashWrite;
    api.X502_FlashErase = FFlashErase;
    api.X502_OutCycleSetup = FOutCycleSetup;
    api.X502_OutCycleLoadStart = FOutCycleLoadStart;
    api.X502_PrepareData = FPrepareData;
    api.X502_PreloadStart = FPreloadStart;
    api.X502_AsyncOutDac = FAsyncOutDac;
    return api;
}

} // namespace velmora::test
