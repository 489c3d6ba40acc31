// Entry points for the input stream: enabling, start and stop, receiving
// words, turning them into volts, and single frames outside the stream.
#include <algorithm>
#include <optional>
#include <thread>
#include <vector>

#include "api_guard.h"
#include "word_format.h"

using namespace e16sim;

namespace {

constexpr uint32_t kAllStreams =
    X502_STREAM_ADC | X502_STREAM_DIN | X502_STREAM_DAC1 | X502_STREAM_DAC2 | X502_STREAM_DOUT;
constexpr auto kScanLook = std::chrono::milliseconds(5);

int32_t checkStreamBits(const Module& m, uint32_t bits) {
    if ((bits & ~kAllStreams) != 0) return X502_ERR_INVALID_STREAMS;
    if ((bits & (X502_STREAM_DAC1 | X502_STREAM_DAC2)) != 0 && !m.id.hasDac) return X502_ERR_DAC_NOT_PRESENT;
    return m.stream.running() ? X502_ERR_STREAM_IS_RUNNING : X502_ERR_OK;
}

// Words the host may take now: none while stalled, capped by a pending disconnect.
uint64_t receivable(const Module& m) {
    if (m.faults.stalled) return 0;
    return std::min(m.stream.available(), m.faults.disconnectAfter);
}

int32_t loseConnection(Session& s, Clock::time_point now) {
    s.module->faults.disconnectAfter = kNoDisconnect;
    s.module->stopStreams(now);
    s.handle->lost = true;
    Simulator::instance().wakeup().notify_all();
    return X502_ERR_CONNECTION_LOST;
}

int32_t deliver(Session& s, uint32_t* buf, uint64_t count) {
    Module& m = *s.module;
    m.stream.generate(buf, static_cast<uint32_t>(count), m);
    if (m.faults.disconnectAfter != kNoDisconnect) m.faults.disconnectAfter -= count;
    return static_cast<int32_t>(count);
}

// One call of X502_Recv: what it waits for and until when.
struct RecvWait {
    Session& s;
    uint32_t* buf;
    uint32_t size;
    Clock::time_point deadline;
    uint64_t runId;
    Clock::time_point wake{};
};

// Returns the call's result once it is done; otherwise sets when to look again.
std::optional<int32_t> tryReceive(RecvWait& w, Clock::time_point now) {
    Module& m = *w.s.module;
    if (w.s.handle->freed) return X502_ERR_INVALID_HANDLE;
    if (w.s.handle->module != w.s.module) return X502_ERR_DEVICE_NOT_OPENED;
    if (w.s.handle->lost) return X502_ERR_CONNECTION_LOST;
    if (m.runId != w.runId) return 0; // stopped while waiting
    if (m.faults.disconnectAfter == 0) return loseConnection(w.s, now);
    m.update(now);
    const uint64_t ready = receivable(m);
    const bool overflowed = m.stream.overflowed() && !m.faults.stalled;
    if (ready == 0 && overflowed) return X502_ERR_STREAM_OVERFLOW;
    const uint64_t need = std::min<uint64_t>({w.size, m.inStep, m.faults.disconnectAfter});
    if (ready >= need || (ready > 0 && overflowed) || now >= w.deadline) {
        return deliver(w.s, w.buf, std::min<uint64_t>(ready, w.size));
    }
    Clock::time_point next = w.deadline;
    if (m.stream.state() == StreamEngine::State::Scan)
        next = now + kScanLook;
    else if (!m.faults.stalled)
        next = std::min(next, m.stream.timeWhenAvailable(need));
    w.wake = std::min(next, w.deadline);
    return std::nullopt;
}

// Position in the table of an ADC word, from its own channel bits: the first
// channel at or after the expected one whose number ends in those bits.
uint32_t locateChannel(uint32_t expected, uint32_t lowBits, uint32_t count) {
    if ((expected & 0xFu) == lowBits) return expected; // the stream in order: no search
    for (uint32_t step = 1; step < count; ++step) {
        const uint32_t lch = (expected + step) % count;
        if ((lch & 0xFu) == lowBits) return lch;
    }
    return count;
}

// One kadr from the table's first position, each word the ADC word of its
// position (the stream in order, as it nearly always is): converted without
// a search. False, with nothing written, when a word is anything else.
template <bool Volts> bool convertKadr(const Config& cfg, const uint32_t* src, double* dest) {
    constexpr uint32_t kChecked = kAdcFlag | 0x0F000000u;
    uint32_t misplaced = 0;
    for (uint32_t k = 0; k < cfg.lchCount; ++k) misplaced |= (src[k] ^ adcWord(k, 0, 0)) & kChecked;
    if (misplaced != 0) return false;
    for (uint32_t k = 0; k < cfg.lchCount; ++k) {
        const int32_t code = adcWordCode(src[k]);
        dest[k] = Volts ? codeToVolts(code, cfg.table[k].range) : code;
    }
    return true;
}

// Turns the ADC words among `*size` words into values (volts or codes),
// following the table from `*nextLch`; *size becomes the values written.
int32_t convertWords(const Config& cfg, const uint32_t* src, double* dest, uint32_t* size, bool volts,
                     uint32_t* nextLch) {
    const uint32_t count = cfg.lchCount;
    uint32_t expected = *nextLch % count;
    uint32_t written = 0;
    int32_t result = X502_ERR_OK;
    for (uint32_t i = 0; i < *size && result == X502_ERR_OK; ++i) {
        if (expected == 0 && *size - i >= count &&
            (volts ? convertKadr<true>(cfg, src + i, dest + written)
                   : convertKadr<false>(cfg, src + i, dest + written))) {
            written += count;
            i += count - 1;
            continue;
        }
        if (!isAdcWord(src[i])) continue;
        const uint32_t lch = locateChannel(expected, adcWordChannel(src[i]), cfg.lchCount);
        if (lch == cfg.lchCount) {
            result = X502_ERR_INVALID_LCH_NUMBER;
            continue;
        }
        const int32_t code = adcWordCode(src[i]);
        dest[written++] = volts ? codeToVolts(code, cfg.table[lch].range) : code;
        expected = lch + 1 == cfg.lchCount ? 0 : lch + 1;
    }
    *size = written;
    *nextLch = expected;
    return result;
}

} // namespace

E16SIM_API int32_t X502_StreamsEnable(t_x502_hnd h, uint32_t streams) {
    return onModule(Entry::X502_StreamsEnable, h, [&](Session& s) {
        if (const int32_t err = checkStreamBits(*s.module, streams)) return err;
        s.module->enabledStreams |= streams;
        return X502_ERR_OK;
    });
}

E16SIM_API int32_t X502_StreamsDisable(t_x502_hnd h, uint32_t streams) {
    return onModule(Entry::X502_StreamsDisable, h, [&](Session& s) {
        if (const int32_t err = checkStreamBits(*s.module, streams)) return err;
        s.module->enabledStreams &= ~streams;
        return X502_ERR_OK;
    });
}

E16SIM_API int32_t X502_StreamsStart(t_x502_hnd h) {
    return onModule(Entry::X502_StreamsStart, h, [&](Session& s) {
        if (s.module->stream.running()) return X502_ERR_STREAM_IS_RUNNING;
        const Simulator& sim = Simulator::instance();
        s.module->startStreams(Clock::now(), sim.timeScale(), sim.replayFrames());
        s.handle->nextLch = 0;
        return X502_ERR_OK;
    });
}

E16SIM_API int32_t X502_StreamsStop(t_x502_hnd h) {
    return onModule(Entry::X502_StreamsStop, h, [&](Session& s) {
        s.module->stopStreams(Clock::now());
        Simulator::instance().wakeup().notify_all();
        return X502_ERR_OK;
    });
}

E16SIM_API int32_t X502_GetRecvReadyCount(t_x502_hnd h, uint32_t* rdy_cnt) {
    return onModule(Entry::X502_GetRecvReadyCount, h, [&](Session& s) {
        if (rdy_cnt == nullptr) return X502_ERR_INVALID_POINTER;
        *rdy_cnt = 0;
        Module& m = *s.module;
        if (!m.stream.running()) return X502_ERR_OK;
        const auto now = Clock::now();
        if (m.faults.disconnectAfter == 0) return loseConnection(s, now);
        m.update(now);
        const uint64_t ready = receivable(m);
        if (ready == 0 && m.stream.overflowed() && !m.faults.stalled) return X502_ERR_STREAM_OVERFLOW;
        *rdy_cnt = static_cast<uint32_t>(std::min<uint64_t>(ready, UINT32_MAX));
        return X502_ERR_OK;
    });
}

E16SIM_API int32_t X502_Recv(t_x502_hnd h, uint32_t* buf, uint32_t size, uint32_t tout) {
    return onModule(Entry::X502_Recv, h, [&](Session& s) -> int32_t {
        if (buf == nullptr && size != 0) return X502_ERR_INVALID_POINTER;
        if (!s.module->stream.running()) return X502_ERR_STREAM_IS_NOT_RUNNING;
        if (size == 0) return 0;
        size = std::min<uint32_t>(size, INT32_MAX);
        RecvWait wait{s, buf, size, Clock::now() + std::chrono::milliseconds(tout), s.module->runId};
        for (;;) {
            if (const auto result = tryReceive(wait, Clock::now())) return *result;
            Simulator::instance().wakeup().wait_until(*s.lock, wait.wake);
        }
    });
}

E16SIM_API int32_t X502_GetNextExpectedLchNum(t_x502_hnd h, uint32_t* lch) {
    return onModule(Entry::X502_GetNextExpectedLchNum, h, [&](Session& s) {
        if (lch == nullptr) return X502_ERR_INVALID_POINTER;
        *lch = s.handle->nextLch;
        return X502_ERR_OK;
    });
}

E16SIM_API int32_t X502_ProcessAdcData(t_x502_hnd h, const uint32_t* src, double* dest, uint32_t* size,
                                       uint32_t flags) {
    // A conversion of words already received: it works after a lost connection too.
    return onModule(
        Entry::X502_ProcessAdcData, h,
        [&](Session& s) {
            if (size == nullptr || (*size != 0 && (src == nullptr || dest == nullptr)))
                return X502_ERR_INVALID_POINTER;
            return convertWords(s.module->applied, src, dest, size, (flags & X502_PROC_FLAGS_VOLT) != 0,
                                &s.handle->nextLch);
        },
        Reach::HandleOnly);
}

E16SIM_API int32_t X502_AsyncGetAdcFrame(t_x502_hnd h, uint32_t flags, uint32_t tout, double* data) {
    std::vector<double> frame;
    Clock::duration takes{};
    const int32_t err = onModule(Entry::X502_AsyncGetAdcFrame, h, [&](Session& s) {
        if (data == nullptr) return X502_ERR_INVALID_POINTER;
        Module& m = *s.module;
        if (m.stream.running() && (m.enabledStreams & X502_STREAM_ADC) != 0)
            return X502_ERR_STREAM_IS_RUNNING;
        frame.resize(m.applied.lchCount);
        const uint32_t scale = Simulator::instance().timeScale();
        m.sampleFrame(Clock::now(), Simulator::instance().epoch(), scale, frame.data());
        for (uint32_t pos = 0; pos < frame.size() && !(flags & X502_PROC_FLAGS_VOLT); ++pos) {
            frame[pos] = voltsToCode(frame[pos], m.applied.table[pos].range);
        }
        takes = std::chrono::nanoseconds(uint64_t{m.applied.lchCount} * m.applied.adcDiv * 125 / 6 / scale);
        return X502_ERR_OK;
    });
    if (err != X502_ERR_OK) return err;
    // Converting the frame takes its time; the lock is not held meanwhile.
    if (takes > std::chrono::milliseconds(tout)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(tout));
        return X502_ERR_ASYNC_TIMEOUT;
    }
    std::this_thread::sleep_for(takes);
    std::copy(frame.begin(), frame.end(), data);
    return X502_ERR_OK;
}
