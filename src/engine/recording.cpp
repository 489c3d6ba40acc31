#include "engine/recording.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <new>
#include <string>

#include "device/te16.h"
#include "dio/digital_io.h"
#include "driver/driver_state.h"
#include "engine/channels.h"
#include "engine/input_ring.h"
#include "engine/sync.h"
#include "output/dsp.h"
#include "output/waveforms.h"
#include "platform/thread.h"

namespace velmora::engine {
namespace {

constexpr std::size_t kWorkerStack = 8192;
constexpr uint32_t kReadyPollMs = 25;
constexpr uint32_t kLoopPauseMs = 5;
// A full ring is re-checked at least this often even without a wake-up.
constexpr uint32_t kRingPollMs = 20;
constexpr double kMinBlockSeconds = 0.04;
constexpr int64_t kBufWordsPerBlockWord = 512;
// The runtime's numbers for a failed allocation and for any other fault.
constexpr int32_t kOutOfMemory = 7;
constexpr int32_t kInvalidCall = 5;

// acquire: pairs with the release of the side that cleared it.
bool Busy(const DriverState& s) {
    return s.busy.load(std::memory_order_acquire);
}

// release: whatever the clearing side did before is seen by the one that reads it false.
void ClearBusy(DriverState& s) {
    s.busy.store(false, std::memory_order_release);
}

// Sleeps up to `ms`, cut short by a stop; false when stopped.
bool Pause(DriverState& s, uint32_t ms) {
    return !s.workerSignal.WaitFor(ms, [&] { return !Busy(s); });
}

// Waits until `done` holds, woken by every read of the host; false when the
// stop came first. No fixed sleep: a read lets the worker go on at once.
template <typename Done> bool WaitUntil(DriverState& s, Done done) {
    while (!done()) {
        if (!Busy(s)) return false;
        s.workerSignal.WaitFor(kRingPollMs, [&] { return done() || !Busy(s); });
    }
    return true;
}

bool WaitForBlock(DriverState& s, device::TE16& dev) {
    while (dev.GetRecvReadyCount() < s.blockWords) {
        if (!Pause(s, kReadyPollMs)) return false;
    }
    return true;
}

// Scales a received block to codes and appends its whole kadrs. The worker
// waits for room before writing, so unread kadrs are never overwritten, and
// after a write that filled the ring it waits for the host before receiving
// again. False when the stop came while waiting.
bool TakeBlock(DriverState& s, device::TE16& dev, int32_t words, int32_t& next) {
    const int32_t n = s.inputCountChannels;
    int32_t kadrs = dev.ProcessAdcData(s.rawBlock.data(), words, s.valueBlock.data()) / n;
    if (kadrs <= 0) return true;
    if (s.decimation > 1) kadrs = 1; // the module ran faster: one kadr per block
    const std::size_t m = static_cast<std::size_t>(kadrs) * static_cast<std::size_t>(n);
    output::Multiply(s.valueBlock.data(), s.scaleTable.data(), m);
    output::DoubleToInt16(s.valueBlock.data(), s.codeBlock.data(), m);
    const int32_t size = s.allocKadrs;
    if (!WaitUntil(s, [&] { return size - CountUnreadKadrs(s) >= kadrs; })) return false;
    next = WriteKadrs(s, s.codeBlock.data(), kadrs, next);
    return WaitUntil(s, [&] { return CountUnreadKadrs(s) < size; });
}

// After a stream that stopped inside a kadr, drops the rest of that kadr.
void Realign(DriverState& s, device::TE16& dev, int32_t timeout) {
    const int32_t lch = dev.GetNextExpectedLchNum();
    if (lch > 0) dev.Recv(s.rawBlock.data(), s.inputCountChannels - lch, timeout);
}

int32_t ChooseBlockKadrs(const DriverState& s) {
    if (s.decimation >= 2) return s.decimation;
    int32_t kadrs = 1;
    while (kadrs / static_cast<double>(s.rate) < kMinBlockSeconds) {
        if (2 * int64_t{kadrs} >= s.inputSizeKadrs) break;
        kadrs *= 2;
    }
    return kadrs;
}

// The module's input buffer: room for 128 blocks of 4-byte words when the
// blocks are tiny; otherwise the library's default (0).
int32_t InputBufferWords(const DriverState& s) {
    if (s.blockKadrs != 1 && s.decimation < 2) return 0;
    const int64_t words = s.blockWords * kBufWordsPerBlockWord;
    return static_cast<int32_t>(std::min<int64_t>(words, std::numeric_limits<int32_t>::max()));
}

struct DacStreams {
    bool dac1 = false;
    bool dac2 = false;
};

// The analog-output part of the start: builds and loads the waveforms when
// the generator is on. False when a failed load has ended the start.
bool LoadStreamedOutput(DriverState& s, device::TE16& dev, DacStreams& streams) {
    streams = {};
    if (s.dacChannelsCount < 1 || !s.dacStreamEnabled) return true;
    if (!output::GenerateWaveforms(s)) return true;
    driver::DacChannel& ch0 = s.dacChannels[0];
    driver::DacChannel& ch1 = s.dacChannels[1];
    if (!dev.StartCyclicOutput(s.dacBufferLength, ch0.running, ch1.running, ch0.samples.data(),
                               ch1.samples.data())) {
        ch0.running = ch1.running = false;
        s.dacStreamEnabled = false; // the user arms the generator again
        s.lastError = dev.LastErrorText();
        StopRecording(s);
        ClearBusy(s);
        return false;
    }
    double freq = s.dacOutRate; // the library's adjusted value is not used
    dev.SetOutFreq(freq);
    streams = {ch0.running, ch1.running};
    return true;
}

// Ends a start that failed after the module was touched.
bool AbortStart(DriverState& s, std::string text) {
    s.lastError = std::move(text);
    ClearBusy(s);
    StopRecording(s);
    ClearBusy(s);
    return false;
}

bool LaunchWorker(DriverState& s) {
    // release: the tables, the ring and the settings above reach the worker
    // (the thread's start orders them too).
    s.busy.store(true, std::memory_order_release);
    s.thread = platform::Thread::CreateSuspended([&s] { AcquisitionWorker(s); }, kWorkerStack);
    if (!s.thread) return AbortStart(s, "Unable create thread!");
    s.threadRunning.store(true, std::memory_order_relaxed); // Resume publishes it
    s.thread->Resume();
    return true;
}

// The failure tail of the start: a fault not already described is reported
// with its number and description.
bool FailTail(DriverState& s, int32_t number, const std::string& description) {
    ClearBusy(s);
    if (s.lastError.empty() && number != 0)
        s.lastError = "Error " + std::to_string(number) + ": " + description;
    return false;
}

bool Refuse(DriverState& s, const char* text) {
    s.lastError = text;
    return FailTail(s, 0, {});
}

bool GuardedStart(DriverState& s) {
    JoinWorker(s); // the ring is about to be rebuilt
    if (!PrepareInput(s)) return FailTail(s, 0, {});
    const bool started = StartAcquisition(s);
    if (started && s.dio.doStartEnabled) dio::WriteDigitalOutputs(s, s.dio.doStartValue);
    return started;
}

} // namespace

int32_t ReceiveTimeout(const DriverState& s) {
    const double ms = std::nearbyint(2.0 * s.blockKadrs * 1000.0 / s.rate + 1000.0) + 4000.0;
    return static_cast<int32_t>(std::clamp(ms, 0.0, double{std::numeric_limits<int32_t>::max()}));
}

bool StartRecording(DriverState& s) {
    s.lastError.clear();
    if (!(s.rate > 0.0f)) return Refuse(s, "The Sampling Rate is not selected!");
    if (s.inputCountChannels < 1) return Refuse(s, "Any channel is not selected!");
    if (s.inputCountChannels * static_cast<double>(s.rate) > s.rateMax)
        s.rate = s.rateMax / s.inputCountChannels;
    try {
        return GuardedStart(s);
    } catch (const std::bad_alloc&) {
        return FailTail(s, kOutOfMemory, "Out of memory");
    } catch (const std::exception& e) {
        return FailTail(s, kInvalidCall, e.what());
    }
}

bool StartAcquisition(DriverState& s) {
    ClearBusy(s);
    JoinWorker(s); // a finished worker goes before its tables are rebuilt
    if (!s.device) return false;
    device::TE16& dev = *s.device;
    dev.StopStreams();
    s.lastSingleChannel = -1; // the single-reading set-up is replaced below
    ApplyRate(s);
    ProgramChannels(s);
    ProgramSync(s);
    s.blockKadrs = ChooseBlockKadrs(s);
    s.blockWords = s.blockKadrs * s.inputCountChannels;
    dev.SetInStreamBufSize(InputBufferWords(s));
    dev.SetInStreamStep(s.blockWords);
    BuildBlockTables(s);
    DacStreams dac;
    if (!LoadStreamedOutput(s, dev, dac)) return false;
    if (!dev.StartStreams(true, dac.dac1, dac.dac2, false, false)) return AbortStart(s, dev.LastErrorText());
    return LaunchWorker(s);
}

void BuildBlockTables(DriverState& s) {
    const int32_t n = s.inputCountChannels;
    const auto words = static_cast<std::size_t>(s.blockWords);
    s.rawBlock.assign(words, 0);
    s.valueBlock.assign(words, 0.0);
    s.codeBlock.assign(words, 0);
    s.scaleTable.assign(words, 0.0);
    for (int32_t i = 0; i < n && static_cast<std::size_t>(i) < s.inputChannels.size(); ++i)
        s.scaleTable[static_cast<std::size_t>(i)] =
            ChannelUnitScale(s, s.inputChannels[static_cast<std::size_t>(i)]);
    // Column 0 copied onward in doubling steps until every kadr has it.
    for (int32_t copied = 1; copied < s.blockKadrs;) {
        const int32_t step = std::min(copied, s.blockKadrs - copied);
        std::copy_n(s.scaleTable.begin(), static_cast<std::size_t>(step) * n,
                    s.scaleTable.begin() + static_cast<std::ptrdiff_t>(copied) * n);
        copied += step;
    }
}

void AcquisitionWorker(DriverState& s) {
    // The device object outlives the worker: it is released only after a join.
    device::TE16& dev = *s.device;
    const int32_t timeout = ReceiveTimeout(s);
    int32_t next = 1; // ring kadr of the next write
    while (Busy(s)) {
        if (!WaitForBlock(s, dev)) break;
        const int32_t words = dev.Recv(s.rawBlock.data(), s.blockWords, timeout);
        if (words > 0) {
            if (!TakeBlock(s, dev, words, next)) break;
            Realign(s, dev, timeout);
        }
        Pause(s, kLoopPauseMs);
    }
    ClearBusy(s);
    dev.StopStreams();
    s.threadRunning.store(false, std::memory_order_release); // the worker touches nothing after this
}

void JoinWorker(DriverState& s) {
    ClearBusy(s);
    s.workerSignal.Notify(); // ends the worker's pause at once
    if (!s.thread) return;
    if (s.device) s.device->StopStreams(); // a pending receive returns at once
    s.thread->Join();
    s.thread.reset();
}

// The join replaces fixed pauses: the stop wakes the worker's waits and the
// stopped streams end its receive, so it is gone within moments and never
// outlives the ring or the device object.
void StopRecording(DriverState& s) {
    JoinWorker(s);
    if (s.device) s.device->StopStreams();
    if (s.dacChannelsCount > 0) {
        s.dacChannels[0].running = false;
        s.dacChannels[1].running = false;
    }
    if (s.dio.doStopEnabled) dio::WriteDigitalOutputs(s, s.dio.doStopValue);
}

} // namespace velmora::engine
