// Analog output: static levels and the signal loaded into the module, either
// as a cycle it repeats by itself or as preloaded copies topped up on demand.
#include <algorithm>
#include <limits>

#include "device/te16.h"

namespace velmora::device {

namespace {
constexpr uint32_t kDacFlags = X502_DAC_FLAGS_VOLT | X502_DAC_FLAGS_CALIBR;
constexpr uint32_t kCycleLoadTimeoutMs = 5000;
constexpr uint32_t kSendTimeoutMs = 1000;
constexpr int64_t kPreloadTargetWords = 1000000;
} // namespace

bool TE16::AsyncOutDac(int16_t channel, double volts) {
    return Call(api_.X502_AsyncOutDac, Handle(), static_cast<uint32_t>(channel), volts, kDacFlags) == 0;
}

bool TE16::AsyncOutDacPair(double volts0, double volts1) {
    const bool first = AsyncOutDac(0, volts0);
    const bool second = AsyncOutDac(1, volts1);
    return first && second;
}

bool TE16::SetOutFreq(double& freq) {
    return Call(api_.X502_SetOutFreq, Handle(), &freq) == 0;
}

void TE16::GetSendReadyCount(int32_t& count) {
    uint32_t ready = 0;
    const bool ok = Call(api_.X502_GetSendReadyCount, Handle(), &ready) == 0;
    count = ok ? static_cast<int32_t>(std::min<uint32_t>(ready, std::numeric_limits<int32_t>::max())) : 0;
}

// Common start of both output modes: size check, word count, stream choice.
bool TE16::PrepareOutput(int32_t size, bool useDac1, bool useDac2) {
    if (size < 2 || (!useDac1 && !useDac2)) return false;
    const int64_t words = (useDac1 && useDac2) ? 2 * int64_t{size} : int64_t{size};
    if (words >= std::numeric_limits<int32_t>::max()) return false;
    outWords_.store(static_cast<int32_t>(words), std::memory_order_relaxed);
    return true;
}

bool TE16::FillOutBuffer(int32_t size, bool useDac1, bool useDac2, const double* dac1Data,
                         const double* dac2Data) {
    outBuffer_.assign(static_cast<std::size_t>(outWords()) + 1, 0u);
    return Call(api_.X502_PrepareData, Handle(), useDac1 ? dac1Data : nullptr, useDac2 ? dac2Data : nullptr,
                static_cast<const uint32_t*>(nullptr), static_cast<uint32_t>(size),
                static_cast<int32_t>(kDacFlags), outBuffer_.data()) == 0;
}

bool TE16::StartCyclicOutput(int32_t size, bool useDac1, bool useDac2, const double* dac1Data,
                             const double* dac2Data) {
    if (!PrepareOutput(size, useDac1, useDac2)) return false;
    Call(api_.X502_OutCycleSetup, Handle(), X502_OUT_CYCLE_FLAGS_FORCE);
    SetStreamEnabled(X502_STREAM_DAC1, useDac1);
    SetStreamEnabled(X502_STREAM_DAC2, useDac2);
    SetStreamEnabled(X502_STREAM_DOUT, false);
    const auto words = static_cast<uint32_t>(outWords());
    if (Call(api_.X502_OutCycleLoadStart, Handle(), words) != 0) return false;
    if (!FillOutBuffer(size, useDac1, useDac2, dac1Data, dac2Data)) return false;
    if (Call(api_.X502_Send, Handle(), outBuffer_.data(), words, kCycleLoadTimeoutMs) < 0) return false;
    return Call(api_.X502_OutCycleSetup, Handle(), X502_OUT_CYCLE_FLAGS_WAIT_DONE) >= 0;
}

bool TE16::StartPreloadedOutput(int32_t size, bool useDac1, bool useDac2, const double* dac1Data,
                                const double* dac2Data) {
    if (!PrepareOutput(size, useDac1, useDac2)) return false;
    SetStreamEnabled(X502_STREAM_DAC1, useDac1);
    SetStreamEnabled(X502_STREAM_DAC2, useDac2);
    SetStreamEnabled(X502_STREAM_DOUT, false);
    const int64_t words = outWords();
    int64_t bufWords = 2 * words;
    while (bufWords < kPreloadTargetWords) bufWords += words;
    if (bufWords > std::numeric_limits<int32_t>::max()) return false;
    outStreamBufWords_ = static_cast<int32_t>(bufWords);
    if (!SetOutStreamBufSize(outStreamBufWords_)) return false;
    if (Call(api_.X502_PreloadStart, Handle()) != 0) return false;
    if (!FillOutBuffer(size, useDac1, useDac2, dac1Data, dac2Data)) return false;
    bool sent = false;
    int32_t free = 0;
    do {
        const int32_t accepted =
            Call(api_.X502_Send, Handle(), outBuffer_.data(), static_cast<uint32_t>(words), kSendTimeoutMs);
        if (accepted >= 0) sent = true;
        // A send that takes nothing would never fill the buffer: stop rather than spin.
        if (accepted <= 0) break;
        GetSendReadyCount(free);
    } while (free >= words);
    return sent;
}

bool TE16::SendOutput() {
    const int32_t words = outWords();
    // outWords is set before the buffer is filled; a failed load leaves no buffer to send.
    if (words == 0 || outBuffer_.size() <= static_cast<std::size_t>(words)) return false;
    int32_t free = 0;
    GetSendReadyCount(free);
    if (free < words) return false;
    return Call(api_.X502_Send, Handle(), outBuffer_.data(), static_cast<uint32_t>(words), kSendTimeoutMs) >=
           0;
}

} // namespace velmora::device
