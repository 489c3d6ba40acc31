// Recording's start and stop: the guarded start, programming and starting
// the module, the generator's cycle, launching the worker, and the stop path.
#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <new>
#include <string>

#include "core/error_numbers.h"
#include "device/te16.h"
#include "engine/driver_state.h"
#include "engine/operations.h"
#include "engine/sync.h"
#include "output/waveforms.h"

namespace velmora::engine {
namespace {

constexpr double kMinBlockSeconds = 0.04;
constexpr int64_t kBufWordsPerBlockWord = 512;

int32_t ChooseBlockKadrs(const AnalogInput& input, int32_t ringKadrs) {
    if (input.decimation >= 2) return input.decimation;
    int32_t kadrs = 1;
    while (kadrs / static_cast<double>(input.rate) < kMinBlockSeconds) {
        if (2 * int64_t{kadrs} >= ringKadrs) break;
        kadrs *= 2;
    }
    return kadrs;
}

// The module's input buffer: room for 512 blocks when the blocks are a
// single kadr or the module runs faster than kept; otherwise the library's
// default (0).
int32_t InputBufferWords(const BlockTables& blocks, int32_t decimation) {
    if (blocks.blockKadrs != 1 && decimation < 2) return 0;
    const int64_t words = blocks.blockWords * kBufWordsPerBlockWord;
    return static_cast<int32_t>(std::min<int64_t>(words, std::numeric_limits<int32_t>::max()));
}

// The library's transfer step: the words of one hand-over time, so that
// what arrived is there for the next receive; within 1 and a block.
int32_t StepWords(const AnalogInput& input, const BlockTables& blocks) {
    const double wordsPerSecond =
        static_cast<double>(input.rate) * std::max(input.decimation, 1) * input.inputCountChannels;
    const double words = std::ceil(wordsPerSecond * kHandOverMs / 1000.0);
    return static_cast<int32_t>(std::clamp(words, 1.0, static_cast<double>(blocks.blockWords)));
}

// Sized for a block; the codes per volt of each selected channel.
void BuildBlockTables(BlockTables& blocks, const AnalogInput& input) {
    const auto words = static_cast<std::size_t>(blocks.blockWords);
    blocks.raw.assign(words, 0);
    blocks.values.assign(words, 0.0);
    std::vector<double> perChannel(static_cast<std::size_t>(input.inputCountChannels), 0.0);
    for (std::size_t i = 0; i < perChannel.size() && i < input.inputChannels.size(); ++i)
        perChannel[i] = input.UnitScale(input.inputChannels[i]);
    blocks.scales = CodeScales(perChannel);
}

// Ends a start that failed after the module was touched.
bool AbortStart(DriverState& s, std::string text) {
    s.lastError = std::move(text);
    s.acquisition.ClearBusy();
    StopRecording(s);
    return false;
}

struct DacStreams {
    bool dac1 = false;
    bool dac2 = false;
};

// The analog-output part of the start: builds and loads the waveforms when
// the generator is armed. False when a failed load has ended the start.
bool LoadStreamedOutput(DriverState& s, device::TE16& dev, DacStreams& streams) {
    streams = {};
    output::AnalogOutput& out = s.output;
    if (out.channelsCount < 1 || !out.streamEnabled) return true;
    if (!output::GenerateWaveforms(out)) return true;
    output::DacChannel& ch0 = out.channels[0];
    output::DacChannel& ch1 = out.channels[1];
    if (!dev.StartCyclicOutput(out.bufferLength, ch0.running, ch1.running, ch0.samples.data(),
                               ch1.samples.data())) {
        out.EndPlaying();
        out.streamEnabled = false; // the user arms the generator again
        return AbortStart(s, dev.LastErrorText());
    }
    double freq = out.outRate; // the library's adjusted value is not used
    dev.SetOutFreq(freq);
    streams = {ch0.running, ch1.running};
    return true;
}

bool LaunchWorker(DriverState& s, device::TE16& dev) {
    const AnalogInput& input = s.input;
    const WorkerJob job{dev,
                        s.ring,
                        input.inputCountChannels,
                        input.decimation,
                        ReceiveTimeout(input.rate, input.decimation),
                        input.kadrRate,
                        input.acqFreq};
    if (!s.acquisition.Launch(job)) return AbortStart(s, "Unable create thread!");
    return true;
}

// The module programmed for the selection and started with the worker.
bool StartAcquisition(DriverState& s) {
    s.acquisition.Join(); // a finished worker goes before its tables are rebuilt
    device::TE16* device = s.Device();
    if (device == nullptr) return false;
    device::TE16& dev = *device;
    ProgramSelection(s, dev);
    BlockTables& blocks = s.acquisition.blocks;
    blocks.blockKadrs = ChooseBlockKadrs(s.input, s.ring.SizeKadrs());
    blocks.blockWords = blocks.blockKadrs * s.input.inputCountChannels;
    dev.SetInStreamBufSize(InputBufferWords(blocks, s.input.decimation));
    dev.SetInStreamStep(StepWords(s.input, blocks));
    BuildBlockTables(blocks, s.input);
    DacStreams dac;
    if (!LoadStreamedOutput(s, dev, dac)) return false;
    if (!dev.StartStreams(true, dac.dac1, dac.dac2, false, false)) return AbortStart(s, dev.LastErrorText());
    return LaunchWorker(s, dev);
}

// The failure tail of the start: a fault not already described is reported
// with its number and description.
bool FailTail(DriverState& s, int32_t number, const std::string& description) {
    s.acquisition.ClearBusy();
    if (s.lastError.empty() && number != 0)
        s.lastError = "Error " + std::to_string(number) + ": " + description;
    return false;
}

bool Refuse(DriverState& s, const char* text) {
    s.lastError = text;
    return FailTail(s, 0, {});
}

bool GuardedStart(DriverState& s) {
    s.acquisition.Join(); // the ring is about to be rebuilt
    const int32_t channels = s.input.inputCountChannels;
    if (!s.ring.Allocate(channels, s.ring.ComputeSize(channels), s.lastError)) return FailTail(s, 0, {});
    const bool started = StartAcquisition(s);
    if (started && s.dio.doStartEnabled) s.dio.WriteOutputs(s.Device(), s.dio.doStartValue);
    return started;
}

} // namespace

bool StartRecordChecked(DriverState& s) {
    Settle(s);
    if (s.acquisition.Busy() || !s.module.detected) return false;
    return StartRecording(s);
}

bool StartRecording(DriverState& s) {
    s.lastError.clear();
    s.endReason.clear();
    AnalogInput& input = s.input;
    if (!(input.rate > 0.0f)) return Refuse(s, "The Sampling Rate is not selected!");
    if (input.inputCountChannels < 1) return Refuse(s, "Any channel is not selected!");
    if (input.inputCountChannels * static_cast<double>(input.rate) > input.rateMax)
        input.rate = input.rateMax / input.inputCountChannels;
    try {
        return GuardedStart(s);
    } catch (const std::bad_alloc&) {
        return FailTail(s, core::kOutOfMemory, "Out of memory");
    } catch (const std::exception& e) {
        return FailTail(s, core::kInvalidCall, e.what());
    }
}

void StopRecording(DriverState& s) {
    s.acquisition.Join();
    s.ring.ComputeSize(s.input.inputCountChannels); // a size asked for while recording
    if (s.Device() != nullptr) s.Device()->StopStreams();
    if (s.output.channelsCount > 0) s.output.EndPlaying();
    if (s.dio.doStopEnabled) s.dio.WriteOutputs(s.Device(), s.dio.doStopValue);
}

DriverState& Settle(DriverState& s) {
    Acquisition& a = s.acquisition;
    if (a.HasWorker() && !a.Busy() && a.Ended() != EndCause::None) {
        std::string reason = a.EndText();
        StopRecording(s);
        s.lastError = reason;
        s.endReason = std::move(reason);
    }
    // A worker that ended on a lost connection left the library's code on the
    // device, so the joined worker's module is found lost here like any other.
    if (!a.HasWorker() && s.module.detected && !s.module.Connected()) s.module.MarkLost();
    return s;
}

void CloseModule(DriverState& s) {
    Settle(s);
    if (s.acquisition.Busy() || s.acquisition.HasWorker()) StopRecording(s);
    s.module.Close();
}

bool SaveSettingsNow(DriverState& s, bool again) {
    s.settings.SaveAll(s.module.serialNumber, s.InputSettings(), &s.output.generator, s.output.channelsCount,
                       again);
    if (s.settings.lastFailure.empty()) return true;
    s.lastError = s.settings.lastFailure;
    return false;
}

} // namespace velmora::engine
