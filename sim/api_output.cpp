// Entry points for the outputs: static DAC levels, digital lines, and the
// output stream (cyclic buffer or preloaded FIFO).
#include <algorithm>

#include "api_guard.h"
#include "word_format.h"

using namespace e16sim;

namespace {

constexpr auto kSendLook = std::chrono::milliseconds(2);

bool carriesDacWords(const uint32_t* words, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t channel = 0;
        uint32_t data = 0;
        if (decodeOutWord(words[i], &channel, &data) && channel != kOutDigital) return true;
    }
    return false;
}

uint32_t dacWord(uint32_t channel, double value, bool volts) {
    const int16_t code = dacCode(volts ? value * kDacCodesPerVolt : value);
    return outWord(channel, static_cast<uint16_t>(code));
}

void prepareWords(const double* dac1, const double* dac2, const uint32_t* dout, uint32_t size, bool volts,
                  uint32_t* out) {
    for (uint32_t i = 0; i < size; ++i) {
        if (dac1 != nullptr) *out++ = dacWord(kOutDac1, dac1[i], volts);
        if (dac2 != nullptr) *out++ = dacWord(kOutDac2, dac2[i], volts);
        if (dout != nullptr) *out++ = outWord(kOutDigital, dout[i]);
    }
}

// Waits for the cycle switch at `startTick` to happen, unless the streams stop first.
void awaitSwitch(Session& s, uint64_t startTick) {
    Module& m = *s.module;
    const uint64_t runId = m.runId;
    const auto when = m.stream.timeOfTick(startTick * m.applied.outDiv);
    while (m.runId == runId && s.handle->module == s.module && Clock::now() < when) {
        Simulator::instance().wakeup().wait_until(*s.lock, when);
    }
}

int32_t sendWords(Session& s, const uint32_t* buf, uint32_t size, uint32_t tout) {
    Module& m = *s.module;
    const auto deadline = Clock::now() + std::chrono::milliseconds(tout);
    uint32_t sent = 0;
    for (;;) {
        const auto now = Clock::now();
        const int32_t took = m.player.accept(buf + sent, size - sent, m.outputsPlaying(), m.outTick(now));
        if (took < 0) return sent > 0 ? static_cast<int32_t>(sent) : took;
        sent += static_cast<uint32_t>(took);
        // Only a FIFO makes room again, as the module plays it.
        if (sent == size || !m.player.preloading() || now >= deadline) return static_cast<int32_t>(sent);
        Simulator::instance().wakeup().wait_until(*s.lock, std::min(deadline, now + kSendLook));
        if (s.handle->module != s.module) return static_cast<int32_t>(sent);
    }
}

} // namespace

E16SIM_API int32_t X502_AsyncOutDac(t_x502_hnd h, uint32_t ch, double data, uint32_t flags) {
    return onModule(Entry::X502_AsyncOutDac, h, [&](Session& s) {
        Module& m = *s.module;
        if (!m.id.hasDac) return X502_ERR_DAC_NOT_PRESENT;
        if (ch > 1) return X502_ERR_INVALID_DAC_CHANNEL;
        const bool volts = (flags & X502_DAC_FLAGS_VOLT) != 0;
        m.setStatic(ch, dacVolts(dacCode(volts ? data * kDacCodesPerVolt : data)), Clock::now());
        m.dacFlags[ch] = flags;
        return X502_ERR_OK;
    });
}

E16SIM_API int32_t X502_AsyncOutDig(t_x502_hnd h, uint32_t val, uint32_t msk) {
    return onModule(Entry::X502_AsyncOutDig, h, [&](Session& s) {
        // Lines whose mask bit is set keep their state.
        Module& m = *s.module;
        m.setStatic(kOutDigital, double(((m.doutStatic & msk) | (val & ~msk)) & 0xFFFFu), Clock::now());
        return X502_ERR_OK;
    });
}

E16SIM_API int32_t X502_AsyncInDig(t_x502_hnd h, uint32_t* din) {
    return onModule(Entry::X502_AsyncInDig, h, [&](Session& s) {
        if (din == nullptr) return X502_ERR_INVALID_POINTER;
        *din = static_cast<uint32_t>(s.module->outputNow(kOutDigital, Clock::now())) & 0xFFFFu;
        return X502_ERR_OK;
    });
}

E16SIM_API int32_t X502_SetDigInPullup(t_x502_hnd h, uint32_t pullups) {
    return onModule(Entry::X502_SetDigInPullup, h, [&](Session& s) {
        s.module->pullups = pullups;
        return X502_ERR_OK;
    });
}

E16SIM_API int32_t X502_OutCycleLoadStart(t_x502_hnd h, uint32_t size) {
    return onModule(Entry::X502_OutCycleLoadStart, h,
                    [&](Session& s) { return s.module->player.beginCycleLoad(size); });
}

E16SIM_API int32_t X502_OutCycleSetup(t_x502_hnd h, uint32_t flags) {
    return onModule(Entry::X502_OutCycleSetup, h, [&](Session& s) {
        Module& m = *s.module;
        const auto now = Clock::now();
        m.update(now);
        uint64_t start = 0;
        const bool force = (flags & X502_OUT_CYCLE_FLAGS_FORCE) != 0;
        const int32_t err = m.player.activateCycle(force, m.outputsPlaying(), m.outTick(now), &start);
        if (err == X502_ERR_OK && m.outputsPlaying() && (flags & X502_OUT_CYCLE_FLAGS_WAIT_DONE) != 0) {
            awaitSwitch(s, start);
        }
        return err;
    });
}

E16SIM_API int32_t X502_PrepareData(t_x502_hnd h, const double* dac1, const double* dac2,
                                    const uint32_t* dout, uint32_t size, int32_t flags, uint32_t* out_buf) {
    return onModule(Entry::X502_PrepareData, h, [&](Session& s) {
        if (out_buf == nullptr && size != 0) return X502_ERR_INVALID_POINTER;
        if (dac1 == nullptr && dac2 == nullptr && dout == nullptr) return X502_ERR_PREPARE_NO_DATA;
        if ((dac1 != nullptr || dac2 != nullptr) && !s.module->id.hasDac) return X502_ERR_DAC_NOT_PRESENT;
        prepareWords(dac1, dac2, dout, size, (flags & X502_DAC_FLAGS_VOLT) != 0, out_buf);
        return X502_ERR_OK;
    });
}

E16SIM_API int32_t X502_PreloadStart(t_x502_hnd h) {
    return onModule(Entry::X502_PreloadStart, h, [&](Session& s) {
        if (s.module->stream.running()) return X502_ERR_STREAM_IS_RUNNING;
        s.module->player.beginPreload();
        return X502_ERR_OK;
    });
}

E16SIM_API int32_t X502_Send(t_x502_hnd h, const uint32_t* buf, uint32_t size, uint32_t tout) {
    return onModule(Entry::X502_Send, h, [&](Session& s) -> int32_t {
        if (buf == nullptr && size != 0) return X502_ERR_INVALID_POINTER;
        if (size == 0) return 0;
        if (!s.module->id.hasDac && carriesDacWords(buf, size)) return X502_ERR_DAC_NOT_PRESENT;
        return sendWords(s, buf, std::min<uint32_t>(size, INT32_MAX), tout);
    });
}

E16SIM_API int32_t X502_GetSendReadyCount(t_x502_hnd h, uint32_t* rdy_cnt) {
    return onModule(Entry::X502_GetSendReadyCount, h, [&](Session& s) {
        if (rdy_cnt == nullptr) return X502_ERR_INVALID_POINTER;
        Module& m = *s.module;
        *rdy_cnt = m.player.readyForSend(m.outputsPlaying(), m.outTick(Clock::now()));
        return X502_ERR_OK;
    });
}
