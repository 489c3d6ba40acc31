// Module settings as the library keeps them (logical channel table, clock
// dividers, synchronization) and the rules that adjust and check them.
// Plain values; guarded by the simulator's lock where they live.
#pragma once

#include <array>
#include <cstdint>

namespace e16sim {

constexpr uint32_t kMaxLChannels = 256;
constexpr uint32_t kPhysicalInputs = 32;
constexpr uint32_t kMaxAdcDiv = 1048576;
constexpr uint32_t kMinAdcDiv = 96; // 48 MHz / 96 = 500 kS/s in total
constexpr uint32_t kMaxFrameDelay = 0x1FFFFF;
constexpr uint32_t kMinDinDiv = 48;
constexpr uint32_t kMinOutDiv = 96;

struct LChannel {
    uint32_t phy = 0;
    uint32_t mode = 0;
    uint32_t range = 0;
};

// The analog start condition: an input, its mode and range, and the level.
struct SyncWatch {
    uint32_t phy = 0;
    uint32_t mode = 0;
    uint32_t range = 0;
    double level = 0.0;
};

struct Config {
    uint32_t lchCount = 1;
    std::array<LChannel, kMaxLChannels> table{};
    uint32_t adcDiv = kMinAdcDiv;
    uint32_t frameDelay = 0;
    uint32_t dinDiv = kMinOutDiv;
    uint32_t outDiv = kMinOutDiv;
    uint32_t syncMode = 0;
    uint32_t startMode = 0;
    SyncWatch watch{};

    // Reference ticks from one frame's start to the next.
    uint64_t framePeriod() const { return uint64_t{lchCount} * adcDiv + frameDelay; }
    double acqFreq() const;
    double frameFreq() const;
    double dinFreq() const;
    double outFreq() const;
};

// Divider nearest to ref / freq, clamped to [minDiv, maxDiv].
uint32_t dividerFor(double freq, uint32_t minDiv, uint32_t maxDiv);

// Adjusts both frequencies to what the module can realise and stores the
// divider and inter-frame delay; a null frame frequency means no delay.
int32_t setAdcFreq(Config& cfg, double* acqFreq, double* frameFreq);

int32_t checkLChannel(uint32_t lch, uint32_t phy, uint32_t mode, uint32_t range);
int32_t checkSyncWatch(uint32_t phy, uint32_t mode, uint32_t range);
bool isValidStartMode(uint32_t mode);
bool isValidSyncMode(uint32_t mode);

} // namespace e16sim
