// Stream control, reception and conversion, timing, channels, synchronization,
// digital lines and flash: one library call each, code kept as LastResult.
#include <algorithm>
#include <cstring>
#include <limits>

#include "device/te16.h"

namespace velmora::device {

namespace {
uint32_t U32(int32_t value) {
    return static_cast<uint32_t>(value);
}

int32_t ClampToLong(uint32_t value) {
    return static_cast<int32_t>(std::min<uint32_t>(value, std::numeric_limits<int32_t>::max()));
}
} // namespace

void TE16::SetStreamEnabled(int32_t streams, bool enable) {
    Call(enable ? api_.X502_StreamsEnable : api_.X502_StreamsDisable, Handle(), U32(streams));
}

bool TE16::StartStreams(bool adc, bool dac1, bool dac2, bool din, bool dout) {
    if (Handle() == nullptr) return false;
    SetStreamEnabled(X502_STREAM_ADC, adc);
    SetStreamEnabled(X502_STREAM_DAC1, dac1);
    SetStreamEnabled(X502_STREAM_DAC2, dac2);
    SetStreamEnabled(X502_STREAM_DIN, din);
    SetStreamEnabled(X502_STREAM_DOUT, dout);
    if (!Configure()) return false;
    return Call(api_.X502_StreamsStart, Handle()) == 0;
}

bool TE16::StopStreams() {
    outWords_.store(0, std::memory_order_relaxed);
    if (Handle() == nullptr) return false;
    return Call(api_.X502_StreamsStop, Handle()) == 0;
}

int32_t TE16::Recv(uint32_t* buffer, int32_t size, int32_t timeoutMs) {
    if (Handle() == nullptr || size < 1) return 0;
    return CallCount(api_.X502_Recv, Handle(), buffer, U32(size), U32(timeoutMs));
}

int32_t TE16::RecvReadyCount() {
    uint32_t ready = 0;
    if (Handle() == nullptr || Call(api_.X502_GetRecvReadyCount, Handle(), &ready) < 0) return 0;
    return ClampToLong(ready);
}

int32_t TE16::ProcessAdcData(const uint32_t* words, int32_t size, double* values) {
    if (Handle() == nullptr) return 0;
    uint32_t count = U32(std::max(size, 0));
    const int32_t code =
        Call(api_.X502_ProcessAdcData, Handle(), words, values, &count, X502_PROC_FLAGS_VOLT);
    return code >= 0 ? ClampToLong(count) : code;
}

void TE16::SetInStreamStep(int32_t step) {
    if (Handle() == nullptr) return;
    Call(api_.X502_SetStreamStep, Handle(), X502_STREAM_CH_IN, U32(step));
}

bool TE16::SetInStreamBufSize(int32_t size) {
    return Call(api_.X502_SetStreamBufSize, Handle(), X502_STREAM_CH_IN, U32(size)) == 0;
}

bool TE16::SetOutStreamBufSize(int32_t size) {
    return Call(api_.X502_SetStreamBufSize, Handle(), X502_STREAM_CH_OUT, U32(size)) == 0;
}

bool TE16::AsyncGetAdcFrame(double* values, int32_t timeoutMs) {
    return Call(api_.X502_AsyncGetAdcFrame, Handle(), X502_PROC_FLAGS_VOLT, U32(timeoutMs), values) == 0;
}

bool TE16::SetRefFreq(int32_t freq) {
    return Call(api_.X502_SetRefFreq, Handle(), U32(freq)) == 0;
}

bool TE16::SetAdcFreq(double& acqFreq, double& frameFreq) {
    return Call(api_.X502_SetAdcFreq, Handle(), &acqFreq, &frameFreq) == 0;
}

bool TE16::SetLChannelCount(int32_t count) {
    return Call(api_.X502_SetLChannelCount, Handle(), U32(count)) == 0;
}

bool TE16::SetLChannel(int32_t index, int32_t phy, int32_t mode, int32_t range, int32_t avg) {
    return Call(api_.X502_SetLChannel, Handle(), U32(index), U32(phy), U32(mode), U32(range), U32(avg)) == 0;
}

bool TE16::Configure() {
    return Call(api_.X502_Configure, Handle(), 0u) == 0;
}

bool TE16::SetSyncMode(int32_t mode) {
    return Call(api_.X502_SetSyncMode, Handle(), U32(mode)) == 0;
}

bool TE16::SetSyncStartMode(int32_t mode) {
    return Call(api_.X502_SetSyncStartMode, Handle(), U32(mode)) == 0;
}

bool TE16::SetAdcSyncStartValue(int32_t phy, int32_t mode, int32_t range, double level) {
    return Call(api_.X502_SetAdcSyncStartValue, Handle(), U32(phy), U32(mode), U32(range), level) == 0;
}

int32_t TE16::AsyncInDig() {
    uint32_t value = 0;
    Call(api_.X502_AsyncInDig, Handle(), &value);
    return static_cast<int32_t>(value & 0xFFFFu);
}

void TE16::AsyncOutDig(int32_t value) {
    Call(api_.X502_AsyncOutDig, Handle(), U32(value) & 0xFFFFu, 0u);
}

bool TE16::SetDinFreq(double& freq) {
    return Call(api_.X502_SetDinFreq, Handle(), &freq) == 0;
}

bool TE16::SetDigInPullup(int32_t bits) {
    return Call(api_.X502_SetDigInPullup, Handle(), U32(bits)) == 0;
}

bool TE16::FlashRead(int32_t address, uint8_t* buffer, int32_t size) {
    return Call(api_.X502_FlashRead, Handle(), U32(address), buffer, U32(size)) == 0;
}

// Whole sectors: read, erase, merge the new bytes in, write back. A step
// that fails ends it: sectors not read would be written back as zeros.
bool TE16::FlashWrite(int32_t address, const uint8_t* data, int32_t size) {
    if (address < 0 || size < 0 || (data == nullptr && size > 0)) return false;
    if (Call(api_.X502_FlashWriteEnable, Handle()) != 0) return false;
    const int64_t start = address / kFlashSector * int64_t{kFlashSector};
    int64_t length = kFlashSector;
    while (start + length < int64_t{address} + size) length += kFlashSector;
    std::vector<uint8_t> sectors(static_cast<std::size_t>(length));
    const auto u32Start = static_cast<uint32_t>(start);
    const auto u32Length = static_cast<uint32_t>(length);
    const bool erased = Call(api_.X502_FlashRead, Handle(), u32Start, sectors.data(), u32Length) == 0 &&
                        Call(api_.X502_FlashErase, Handle(), u32Start, u32Length) == 0;
    if (erased && size > 0)
        std::memcpy(sectors.data() + (address - start), data, static_cast<std::size_t>(size));
    const bool written =
        erased && Call(api_.X502_FlashWrite, Handle(), u32Start, sectors.data(), u32Length) == 0;
    Call(api_.X502_FlashWriteDisable, Handle());
    return written;
}

void TE16::LedBlink() {
    Call(api_.X502_LedBlink, Handle());
}

} // namespace velmora::device
