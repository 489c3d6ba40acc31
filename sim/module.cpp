#include "module.h"

#include <algorithm>
#include <cstring>

#include "word_format.h"

namespace e16sim {
namespace {

constexpr std::size_t kMaxHeldLevels = 4096;

constexpr uint32_t kOutputStreamBits[kOutChannels] = {X502_STREAM_DAC1, X502_STREAM_DAC2, X502_STREAM_DOUT};

// Reads the DAC outputs as they are at one moment, for frames taken outside a stream.
class DacNow final : public DacSource {
public:
    DacNow(const Module& module, Clock::time_point now) : module_(module), now_(now) {}
    double dacVolts(uint32_t channel, uint64_t) const override { return module_.outputNow(channel, now_); }

private:
    const Module& module_;
    Clock::time_point now_;
};

} // namespace

void Module::onOpen() {
    pending = applied = Config{};
    enabledStreams = 0;
    inBufWords = kDefaultInBufWords;
    inStep = outStep = kDefaultStep;
    flash.setWriteEnabled(false);
    player.reset();
    player.setFifoCapacity(kDefaultOutBufWords);
}

void Module::fillInfo(t_x502_info* info) const {
    std::memset(info, 0, sizeof *info);
    std::strncpy(info->name, "E16", sizeof info->name - 1);
    std::strncpy(info->serial, id.serial.c_str(), sizeof info->serial - 1);
    info->devflags = id.hasDac ? X502_DEVFLAGS_DAC_PRESENT : 0u;
    info->fpga_ver = 0x0105;
    info->board_rev = 0;
    info->mcu_firmware_ver = 0x01000300; // 1.0.3.0
    const uint8_t mac[6] = {0x02, 0x16, 0x00, 0x00, 0x00, id.macLast};
    std::memcpy(info->factory_mac, mac, sizeof mac);
}

void Module::startStreams(Clock::time_point now, uint32_t timeScale, uint32_t replayFrames) {
    ++runId;
    for (auto& held : held_) held.clear();
    const bool adc = (enabledStreams & X502_STREAM_ADC) != 0;
    const bool din = (enabledStreams & X502_STREAM_DIN) != 0;
    stream.start(applied, adc, din, inBufWords, now, timeScale);
    stream.replay(replayFrames, *this);
}

void Module::stopStreams(Clock::time_point now) {
    if (!stream.running()) return;
    // The outputs hold the last level they played.
    if (outputsPlaying()) {
        for (uint32_t out = 0; out < kOutChannels; ++out) {
            const double level = outputNow(out, now);
            if (out == kOutDigital)
                doutStatic = static_cast<uint32_t>(level) & 0xFFFFu;
            else
                dacStatic[out] = level;
        }
    }
    player.stop();
    stream.stop();
    for (auto& held : held_) held.clear();
    ++runId;
}

void Module::update(Clock::time_point now) {
    stream.update(now, *this);
    const uint64_t pending = stream.pendingTick();
    for (auto& held : held_)
        held.erase(held.begin(), std::find_if(held.begin(), held.end(),
                                              [pending](const Held& h) { return h.until > pending; }));
    if (!outputsPlaying()) return;
    const uint64_t keep = std::min(stream.tickAt(now), stream.pendingTick());
    player.trim(keep / applied.outDiv);
}

bool Module::plays(uint32_t output) const {
    return outputsPlaying() && (enabledStreams & kOutputStreamBits[output]) != 0;
}

double Module::playedLevel(uint32_t output, uint64_t tick, double fallback) const {
    double level = fallback;
    if (plays(output)) player.level(output, tick / applied.outDiv, &level);
    return level;
}

double Module::outputNow(uint32_t output, Clock::time_point now) const {
    return playedLevel(output, stream.tickAt(now), staticNow(output));
}

double Module::staticNow(uint32_t output) const {
    return output == kOutDigital ? double(doutStatic) : dacStatic[output];
}

void Module::setStatic(uint32_t output, double level, Clock::time_point now) {
    auto& held = held_[output];
    if (!stream.hasOrigin()) held.clear();
    // A host that sets levels without receiving keeps the last ones only:
    // samples older still read the oldest kept.
    if (held.size() >= kMaxHeldLevels) held.erase(held.begin(), held.begin() + kMaxHeldLevels / 2);
    if (stream.hasOrigin()) held.push_back({stream.tickAt(now), staticNow(output)});
    if (output == kOutDigital)
        doutStatic = static_cast<uint32_t>(level) & 0xFFFFu;
    else
        dacStatic[output] = level;
}

double Module::staticAt(uint32_t output, uint64_t tick) const {
    for (const Held& h : held_[output])
        if (tick < h.until) return h.level;
    return staticNow(output);
}

double Module::dacVolts(uint32_t channel, uint64_t tick) const {
    return playedLevel(channel, tick, staticAt(channel, tick));
}

uint32_t Module::digitalInputs(uint64_t tick) const {
    return static_cast<uint32_t>(playedLevel(kOutDigital, tick, staticAt(kOutDigital, tick))) & 0xFFFFu;
}

double Module::channelVolts(uint32_t phy, uint32_t mode, const SampleAt& at) const {
    return bench_->measure(phy, mode, at, *this);
}

void Module::channelFrames(uint32_t phy, uint32_t mode, const SampleAt& first, uint32_t frames,
                           double* volts) const {
    bench_->measureFrames(phy, mode, first, frames, *this, volts);
}

bool Module::steadyVolts(uint32_t phy, uint32_t mode, double* volts) const {
    return bench_->steady(phy, mode, volts);
}

void Module::sampleFrame(Clock::time_point now, Clock::time_point epoch, uint32_t timeScale,
                         double* volts) const {
    const DacNow dac(*this, now);
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now - epoch).count();
    const uint64_t start = static_cast<uint64_t>(std::max<int64_t>(ns, 0)) * 6 * timeScale / 125;
    for (uint32_t pos = 0; pos < applied.lchCount; ++pos) {
        const LChannel& ch = applied.table[pos];
        const uint64_t tick = start + uint64_t{pos} * applied.adcDiv;
        const SampleAt at{tick, start / applied.framePeriod(), pos};
        volts[pos] = codeToVolts(voltsToCode(bench_->measure(ch.phy, ch.mode, at, dac), ch.range), ch.range);
    }
}

} // namespace e16sim
