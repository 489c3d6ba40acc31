// One simulated E16 module: its identity, the settings the library holds for
// it (pending until X502_Configure applies them), its streams, outputs,
// digital lines, flash and injected faults. Every member is guarded by the
// simulator lock (Simulator::mutex); nothing here locks.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "config.h"
#include "device/x502api.h"
#include "flash.h"
#include "output_player.h"
#include "signals.h"
#include "stream_engine.h"

namespace e16sim {

constexpr uint32_t kDefaultInBufWords = 4u << 20;
constexpr uint32_t kMaxInBufWords = 64u << 20;
constexpr uint32_t kDefaultOutBufWords = 1u << 20;
constexpr uint32_t kMaxOutBufWords = 16u << 20;
constexpr uint32_t kMinBufWords = 1024;
constexpr uint32_t kDefaultStep = 1024;
constexpr uint64_t kNoDisconnect = UINT64_MAX;

struct ModuleIdentity {
    std::string serial;
    bool hasDac = false;
    uint32_t ip = 0; // 0 for a USB module
    uint8_t macLast = 0;
};

struct ModuleFaults {
    uint64_t disconnectAfter = kNoDisconnect; // words still delivered before the link drops
    bool stalled = false;
};

class Module final : public SampleSource, public DacSource {
public:
    Module(ModuleIdentity identity, const InputBench* bench) : id(std::move(identity)), bench_(bench) {}

    // A handle opened the module: the library's settings start afresh.
    void onOpen();
    void fillInfo(t_x502_info* info) const;

    // `replayFrames`: see StreamEngine::replay.
    void startStreams(Clock::time_point now, uint32_t timeScale = 1, uint32_t replayFrames = 0);
    void stopStreams(Clock::time_point now);
    void update(Clock::time_point now);
    bool outputsPlaying() const { return stream.hasOrigin(); }
    uint64_t outTick(Clock::time_point now) const { return stream.tickAt(now) / applied.outDiv; }

    // What an output (0 DAC1, 1 DAC2, 2 digital) drives now.
    double outputNow(uint32_t output, Clock::time_point now) const;
    // An output's static level from `now` on: words made later for samples
    // taken before still read the level before.
    void setStatic(uint32_t output, double level, Clock::time_point now);
    // One frame of the applied table, in volts, sampled from `now` on; the
    // module's clock runs `timeScale` times faster than the wall clock.
    void sampleFrame(Clock::time_point now, Clock::time_point epoch, uint32_t timeScale, double* volts) const;

    double channelVolts(uint32_t phy, uint32_t mode, const SampleAt& at) const override;
    void channelFrames(uint32_t phy, uint32_t mode, const SampleAt& first, uint32_t frames,
                       double* volts) const override;
    bool steadyVolts(uint32_t phy, uint32_t mode, double* volts) const override;
    uint32_t digitalInputs(uint64_t tick) const override;
    double dacVolts(uint32_t channel, uint64_t tick) const override;

    const ModuleIdentity id;
    t_x502* owner = nullptr;
    uint64_t runId = 0; // changes at every stream start and stop
    Config pending{};
    Config applied{};
    uint32_t enabledStreams = 0;
    uint32_t inBufWords = kDefaultInBufWords;
    uint32_t inStep = kDefaultStep;
    uint32_t outStep = kDefaultStep;
    std::array<double, 2> dacStatic{};
    std::array<uint32_t, 2> dacFlags{};
    uint32_t doutStatic = 0;
    uint32_t pullups = 0;
    uint32_t ledBlinks = 0;
    Flash flash;
    StreamEngine stream;
    OutputPlayer player;
    ModuleFaults faults;

private:
    bool plays(uint32_t output) const;
    double playedLevel(uint32_t output, uint64_t tick, double fallback) const;
    double staticNow(uint32_t output) const;
    // The static level at `tick`, earlier changes still to be sampled included.
    double staticAt(uint32_t output, uint64_t tick) const;

    // Each level an output held until a tick, while samples before that
    // tick are still to be made; oldest first.
    struct Held {
        uint64_t until;
        double level;
    };
    std::array<std::vector<Held>, kOutChannels> held_;

    const InputBench* bench_;
};

} // namespace e16sim
