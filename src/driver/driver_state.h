// DriverState: the one process-wide record of configuration and run-time
// state, shared by every Lintara object, the engine and the worker thread.
// Host-thread only, except the fields marked "worker" (see each comment).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/wait_signal.h"

namespace velmora::device {
class TE16;
}
namespace velmora::platform {
class Thread;
}
namespace velmora::settings {
class cRegistry;
}

namespace velmora::driver {

inline constexpr int kChannels = 32;
inline constexpr int kRanges = 4;

// One entry of the logical channel table.
struct ChannelEntry {
    int16_t source = 0;      // physical input 0..31
    int16_t singleEnded = 0; // nonzero: measured against ground
};

// Digital inputs and outputs.
struct DioState {
    bool present = false;
    uint8_t diBits = 0;
    uint8_t doBits = 0;
    int32_t diValue = 0;
    int32_t doValue = 0;
    bool doStartEnabled = false;
    bool doStopEnabled = false;
    int32_t doStartValue = 0;
    int32_t doStopValue = 0;
};

// One analog output.
struct DacChannel {
    double value = 0.0;          // static level last written, volts
    bool running = false;        // playing a waveform
    int16_t waveform = 0;        // 0 Off, 1 DC, 2 Noise, 3 Sine, 4 Pulse, 5 Ramp, 6 Triangle
    int32_t amplitude = 0;       // codes
    int32_t baseline = 0;        // codes
    double phase = 0.0;          // fraction of a period
    std::vector<double> samples; // the built waveform, volts
};

struct DriverState {
    DriverState();
    ~DriverState();
    DriverState(const DriverState&) = delete;
    DriverState& operator=(const DriverState&) = delete;

    // Analog-input description.
    std::string driverTypeName;
    std::string adcName;
    uint8_t resolution = 0;
    int16_t rangesCount = 0;
    std::vector<std::string> rangeNames;
    std::vector<float> rangeUnitScale;
    std::vector<float> rangeUnitOffset;
    int16_t channelsCount = 0;
    std::vector<int16_t> channelRange;

    // Detection and identity.
    bool detected = false;
    int16_t basePort = 0;
    bool dacPresent = false;
    // Read by the worker; created and released on the host thread only while
    // no worker runs.
    std::unique_ptr<device::TE16> device;
    std::string boardName, boardRevision, serialNumber, infoText;

    std::string lastError;

    // Logical channel table and start synchronization.
    std::array<ChannelEntry, kChannels> channelTable{};
    int16_t syncStartMode = 0, syncAdDirection = 0, syncAdChannel = 0, syncAdRange = 0, syncAdLevel = 0;

    // Selection and rate. Read by the worker; changed only while not busy.
    std::vector<int16_t> inputChannels;
    int16_t inputCountChannels = 0;
    float rateMax = 0;
    float rate = 0;
    int32_t refFreq = 0, adcDivider = 0, decimation = 0;

    // The input ring: one writer (the worker), one reader (the host).
    int32_t inputSizeRequested = 0;
    int32_t inputSizeData = 0;
    int32_t inputSizeKadrs = 0;              // changes only while not busy
    std::atomic<int32_t> readKadr{0};        // host writes (release), worker reads (acquire)
    std::atomic<int32_t> writeKadr{0};       // worker writes after the data (seq_cst)
    std::atomic<int32_t> inputCountKadrs{0}; // both write: the last count computed
    // Worker sets false after each write, host sets true after reading all;
    // seq_cst, as the host checks writeKadr again after its store.
    std::atomic<bool> drained{false};
    std::vector<int16_t> inputBuffer; // kadr k (1-based) at (k - 1) * allocChannels
    int32_t allocChannels = 0, allocKadrs = 0;

    // Stream block tables, built at each start, used only by the worker.
    int32_t blockKadrs = 0, blockWords = 0;
    std::vector<uint32_t> rawBlock;
    std::vector<double> valueBlock;
    std::vector<double> scaleTable; // kadr after kadr, lined up with valueBlock
    std::vector<int16_t> codeBlock; // the scaled block as codes, on its way to the ring

    // Recording. busy is the stop signal: the host sets it false, the worker
    // reads it (acquire) at every wait and clears it when it ends.
    std::atomic<bool> busy{false};
    std::unique_ptr<platform::Thread> thread; // host thread only
    std::atomic<bool> threadRunning{false};   // the worker clears it as its last act
    // The worker's waits end early when the host reads from the ring or stops.
    platform::WaitSignal workerSignal;

    // Single readings.
    int16_t lastSingleChannel = 0, lastSingleRange = 0;
    uint32_t lastSingleTick = 0;
    double singleScale = 0, singleOffset = 0;

    // Process-wide bookkeeping and settings.
    int32_t instanceCount = 0;
    std::string registryPath;
    std::unique_ptr<settings::cRegistry> registry;
    int16_t savedChannelCount = 0;
    std::string helpFile; // empty: no help
    int16_t loopIndex = 0;

    DioState dio;

    // Analog output.
    uint8_t dacResolution = 0;
    bool dacStreamEnabled = false;
    int32_t dacCodeMax = 0, dacCodeMin = 0;
    double dacVoltMax = 0, dacVoltMin = 0;
    int16_t dacRangesCount = 0;
    std::vector<std::string> dacRangeNames;
    double dacUnitScale = 0, dacUnitOffset = 0;
    int16_t dacChannelsCount = 0;
    int16_t dacActiveCount = 0;
    double dacOutRateMax = 0, dacOutRate = 0;
    double dacSignalFreqMax = 0, dacSignalFreqMin = 0, dacSignalFreq = 0;
    int32_t dacBufferWords = 0, dacBufferLength = 0;
    std::array<DacChannel, 2> dacChannels{};
    std::string dacLastError;
    int16_t dacPageChannel = 0;

    int16_t setupLastTab = 0;
};

// The process-wide record. Fields that nothing resets keep their values from
// one driver lifetime to the next within a process.
DriverState& State();

} // namespace velmora::driver
