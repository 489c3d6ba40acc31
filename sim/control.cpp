// The control API: every call takes the simulator lock and never throws.
#include "e16sim_control.h"

#include <algorithm>

#include "api_guard.h"

using namespace e16sim;

#define E16SIM_CONTROL extern "C" __attribute__((visibility("default")))

namespace {

// Runs `body` under the simulator lock; -1 when it throws.
template <class Body> int32_t locked(Body&& body) noexcept {
    try {
        std::lock_guard<std::mutex> lock(Simulator::instance().mutex());
        return body(Simulator::instance());
    } catch (...) {
        return -1;
    }
}

template <class Body> int32_t onIndex(uint32_t index, Body&& body) noexcept {
    return locked([&](Simulator& sim) {
        const auto module = sim.moduleAt(index);
        return module ? body(sim, *module) : -1;
    });
}

int32_t setSignal(uint32_t phy, const Signal& signal) {
    if (phy >= kPhysicalInputs) return -1;
    return locked([&](Simulator& sim) {
        sim.bench().setSignal(phy, signal);
        return 0;
    });
}

void copyConfig(const Config& c, e16sim_config* out) {
    out->lch_count = c.lchCount;
    for (uint32_t i = 0; i < kMaxLChannels; ++i)
        out->lch[i] = {c.table[i].phy, c.table[i].mode, c.table[i].range};
    out->adc_div = c.adcDiv;
    out->frame_delay = c.frameDelay;
    out->din_div = c.dinDiv;
    out->out_div = c.outDiv;
    out->ref_freq = kRefFreq;
    out->adc_freq = c.acqFreq();
    out->frame_freq = c.frameFreq();
    out->din_freq = c.dinFreq();
    out->out_freq = c.outFreq();
    out->sync_mode = c.syncMode;
    out->sync_start_mode = c.startMode;
    out->watch_phy = c.watch.phy;
    out->watch_mode = c.watch.mode;
    out->watch_range = c.watch.range;
    out->watch_level = c.watch.level;
}

int32_t streamState(const StreamEngine& stream) {
    switch (stream.state()) {
    case StreamEngine::State::Idle:
        return E16SIM_STREAM_IDLE;
    case StreamEngine::State::WaitEdge:
        return E16SIM_STREAM_WAIT_EDGE;
    case StreamEngine::State::Scan:
        return E16SIM_STREAM_WAIT_LEVEL;
    case StreamEngine::State::Flow:
        return E16SIM_STREAM_RUNNING;
    case StreamEngine::State::NoClock:
        return E16SIM_STREAM_NO_CLOCK;
    }
    return E16SIM_STREAM_IDLE;
}

uint32_t edgeStartCode(uint32_t input, int32_t rising) {
    if (input == E16SIM_INPUT_TRIG) return rising ? X502_SYNC_SYN1_RISE : X502_SYNC_SYN1_FALL;
    return rising ? X502_SYNC_SYN2_RISE : X502_SYNC_SYN2_FALL;
}

} // namespace

E16SIM_CONTROL void e16sim_reset(void) {
    locked([](Simulator& sim) {
        sim.reset();
        return 0;
    });
}

E16SIM_CONTROL int32_t e16sim_set_sine(uint32_t phy, double amplitude, double freq_hz, double phase_rad,
                                       double offset) {
    return setSignal(phy, {SignalKind::Sine, amplitude, freq_hz, phase_rad, offset, 1});
}

E16SIM_CONTROL int32_t e16sim_set_dc(uint32_t phy, double volts) {
    return setSignal(phy, {SignalKind::Dc, volts, 0, 0, 0, 1});
}

E16SIM_CONTROL int32_t e16sim_set_ramp(uint32_t phy, double start, double step, uint32_t period_frames) {
    if (period_frames == 0) return -1;
    return setSignal(phy, {SignalKind::Ramp, start, step, 0, 0, period_frames});
}

E16SIM_CONTROL int32_t e16sim_set_noise(uint32_t phy, double offset, double half_width) {
    return setSignal(phy, {SignalKind::Noise, offset, half_width, 0, 0, 1});
}

E16SIM_CONTROL int32_t e16sim_set_default_signal(uint32_t phy) {
    return setSignal(phy, Signal{});
}

E16SIM_CONTROL void e16sim_fire_edge(uint32_t input, int32_t rising) {
    if (input > E16SIM_INPUT_INT) return;
    locked([&](Simulator& sim) {
        const auto now = Clock::now();
        for (uint32_t i = 0; auto module = sim.moduleAt(i); ++i)
            module->stream.fireEdge(edgeStartCode(input, rising), now);
        sim.wakeup().notify_all();
        return 0;
    });
}

E16SIM_CONTROL int32_t e16sim_get_config(uint32_t module, int32_t applied, e16sim_config* config) {
    if (config == nullptr) return -1;
    return onIndex(module, [&](Simulator&, Module& m) {
        copyConfig(applied ? m.applied : m.pending, config);
        return 0;
    });
}

E16SIM_CONTROL int32_t e16sim_get_state(uint32_t module, e16sim_state* state) {
    if (state == nullptr) return -1;
    return onIndex(module, [&](Simulator&, Module& m) {
        m.update(Clock::now());
        *state = {m.owner != nullptr ? 1 : 0,
                  streamState(m.stream),
                  m.enabledStreams,
                  m.inBufWords,
                  m.inStep,
                  m.player.fifoCapacity(),
                  m.flash.writeEnabled() ? 1 : 0,
                  m.ledBlinks,
                  m.stream.firstFrame()};
        return 0;
    });
}

E16SIM_CONTROL int32_t e16sim_get_dac(uint32_t module, uint32_t channel, double* level_now,
                                      double* static_level, uint32_t* flags) {
    if (channel > 1) return -1;
    return onIndex(module, [&](Simulator&, Module& m) {
        if (level_now != nullptr) *level_now = m.outputNow(channel, Clock::now());
        if (static_level != nullptr) *static_level = m.dacStatic[channel];
        if (flags != nullptr) *flags = m.dacFlags[channel];
        return 0;
    });
}

E16SIM_CONTROL int32_t e16sim_get_digital(uint32_t module, uint32_t* outputs, uint32_t* pullups) {
    return onIndex(module, [&](Simulator&, Module& m) {
        if (outputs != nullptr) *outputs = static_cast<uint32_t>(m.outputNow(kOutDigital, Clock::now()));
        if (pullups != nullptr) *pullups = m.pullups;
        return 0;
    });
}

E16SIM_CONTROL int32_t e16sim_get_out_cycle(uint32_t module, uint32_t output, double* samples,
                                            uint32_t capacity) {
    if (output >= kOutChannels || (samples == nullptr && capacity != 0)) return -1;
    return onIndex(module, [&](Simulator&, Module& m) {
        const auto& cycle = m.player.activeCycle(output);
        std::copy_n(cycle.begin(), std::min<size_t>(capacity, cycle.size()), samples);
        return static_cast<int32_t>(cycle.size());
    });
}

E16SIM_CONTROL int64_t e16sim_call_count(const char* name) {
    Entry entry{};
    return findEntry(name, &entry) ? callCount(entry) : -1;
}

E16SIM_CONTROL void e16sim_reset_call_counts(void) {
    resetCallCounts();
}

E16SIM_CONTROL int32_t e16sim_fault_disconnect_after(uint32_t module, uint64_t words) {
    return onIndex(module, [&](Simulator& sim, Module& m) {
        m.faults.disconnectAfter = words;
        sim.wakeup().notify_all();
        return 0;
    });
}

E16SIM_CONTROL int32_t e16sim_fault_stall(uint32_t module, int32_t stalled) {
    return onIndex(module, [&](Simulator& sim, Module& m) {
        m.faults.stalled = stalled != 0;
        sim.wakeup().notify_all();
        return 0;
    });
}

E16SIM_CONTROL void e16sim_fault_refuse_open(int32_t code) {
    locked([&](Simulator& sim) {
        sim.refuseOpenCode = code > 0 ? X502_ERR_CONNECTION_REFUSED : code;
        return 0;
    });
}

E16SIM_CONTROL int32_t e16sim_fault_fail_call(const char* name, int32_t code) {
    Entry entry{};
    if (!findEntry(name, &entry)) return -1;
    setInjectedFault(entry, code);
    return 0;
}

E16SIM_CONTROL void e16sim_fault_clear_all(void) {
    clearInjectedFaults();
    locked([](Simulator& sim) {
        sim.refuseOpenCode = 0;
        for (uint32_t i = 0; auto module = sim.moduleAt(i); ++i) module->faults = ModuleFaults{};
        sim.wakeup().notify_all();
        return 0;
    });
}

E16SIM_CONTROL int32_t e16sim_set_time_scale(uint32_t factor) {
    if (factor < 1 || factor > kMaxTimeScale) return -1;
    return locked([&](Simulator& sim) {
        sim.setTimeScale(factor);
        return 0;
    });
}

E16SIM_CONTROL uint32_t e16sim_get_time_scale(void) {
    return static_cast<uint32_t>(
        locked([](Simulator& sim) { return static_cast<int32_t>(sim.timeScale()); }));
}

E16SIM_CONTROL int32_t e16sim_set_replay(uint32_t frames) {
    if (frames > kMaxReplayFrames) return -1;
    return locked([&](Simulator& sim) {
        sim.setReplayFrames(frames);
        return 0;
    });
}

E16SIM_CONTROL int32_t e16sim_add_usb_module(const char* serial, int32_t with_dac) {
    return locked([&](Simulator& sim) { return sim.addUsbModule(serial, with_dac != 0); });
}
