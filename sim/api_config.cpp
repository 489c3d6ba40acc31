// Entry points that set the module's acquisition settings. They change the
// pending settings; X502_Configure hands them to the module.
#include <algorithm>
#include <cmath>

#include "api_guard.h"
#include "word_format.h"

using namespace e16sim;

namespace {

int32_t notWhileStreaming(const Session& s) {
    return s.module->stream.running() ? X502_ERR_STREAM_IS_RUNNING : X502_ERR_OK;
}

// Sets a divider-based frequency: written back as 48 MHz / divider.
int32_t setDividedFreq(Session& s, double* freq, uint32_t minDiv, uint32_t Config::*divider,
                       int32_t invalid) {
    if (freq == nullptr) return X502_ERR_INVALID_POINTER;
    if (!(*freq > 0.0) || std::isinf(*freq)) return invalid;
    if (const int32_t err = notWhileStreaming(s)) return err;
    s.module->pending.*divider = dividerFor(*freq, minDiv, kMaxAdcDiv);
    *freq = kRefFreq / (s.module->pending.*divider);
    return X502_ERR_OK;
}

uint32_t clampBufSize(uint32_t size, uint32_t defaultSize, uint32_t maxSize) {
    if (size == 0) return defaultSize;
    return std::clamp(size, kMinBufWords, maxSize);
}

} // namespace

E16SIM_API int32_t X502_Configure(t_x502_hnd h, uint32_t) {
    return onModule(Entry::X502_Configure, h, [&](Session& s) {
        if (const int32_t err = notWhileStreaming(s)) return err;
        s.module->applied = s.module->pending;
        s.handle->nextLch = 0;
        return X502_ERR_OK;
    });
}

E16SIM_API int32_t X502_SetRefFreq(t_x502_hnd h, uint32_t freq) {
    return onModule(Entry::X502_SetRefFreq, h, [&](Session&) {
        return freq == static_cast<uint32_t>(kRefFreq) ? X502_ERR_OK : X502_ERR_INVALID_REF_FREQ;
    });
}

E16SIM_API int32_t X502_SetAdcFreq(t_x502_hnd h, double* f_acq, double* f_frame) {
    return onModule(Entry::X502_SetAdcFreq, h, [&](Session& s) {
        if (const int32_t err = notWhileStreaming(s)) return err;
        return setAdcFreq(s.module->pending, f_acq, f_frame);
    });
}

E16SIM_API int32_t X502_SetLChannelCount(t_x502_hnd h, uint32_t lch_cnt) {
    return onModule(Entry::X502_SetLChannelCount, h, [&](Session& s) {
        if (lch_cnt == 0 || lch_cnt > kMaxLChannels) return X502_ERR_INVALID_LTABLE_SIZE;
        s.module->pending.lchCount = lch_cnt;
        return X502_ERR_OK;
    });
}

E16SIM_API int32_t X502_SetLChannel(t_x502_hnd h, uint32_t lch, uint32_t phy_ch, uint32_t mode,
                                    uint32_t range, uint32_t) {
    return onModule(Entry::X502_SetLChannel, h, [&](Session& s) {
        if (const int32_t err = checkLChannel(lch, phy_ch, mode, range)) return err;
        s.module->pending.table[lch] = {phy_ch, mode, range};
        return X502_ERR_OK;
    });
}

E16SIM_API int32_t X502_SetSyncMode(t_x502_hnd h, uint32_t sync_mode) {
    return onModule(Entry::X502_SetSyncMode, h, [&](Session& s) {
        if (!isValidSyncMode(sync_mode)) return X502_ERR_INVALID_SYNC_MODE;
        s.module->pending.syncMode = sync_mode;
        return X502_ERR_OK;
    });
}

E16SIM_API int32_t X502_SetSyncStartMode(t_x502_hnd h, uint32_t sync_start_mode) {
    return onModule(Entry::X502_SetSyncStartMode, h, [&](Session& s) {
        if (!isValidStartMode(sync_start_mode)) return X502_ERR_INVALID_SYNC_MODE;
        s.module->pending.startMode = sync_start_mode;
        return X502_ERR_OK;
    });
}

E16SIM_API int32_t X502_SetAdcSyncStartValue(t_x502_hnd h, uint32_t phy_ch, uint32_t mode, uint32_t range,
                                             double value) {
    return onModule(Entry::X502_SetAdcSyncStartValue, h, [&](Session& s) {
        if (const int32_t err = checkSyncWatch(phy_ch, mode, range)) return err;
        s.module->pending.watch = {phy_ch, mode, range, value};
        return X502_ERR_OK;
    });
}

E16SIM_API int32_t X502_SetDinFreq(t_x502_hnd h, double* f_din) {
    return onModule(Entry::X502_SetDinFreq, h, [&](Session& s) {
        return setDividedFreq(s, f_din, kMinDinDiv, &Config::dinDiv, X502_ERR_INVALID_DIN_FREQ);
    });
}

E16SIM_API int32_t X502_SetOutFreq(t_x502_hnd h, double* f_dout) {
    return onModule(Entry::X502_SetOutFreq, h, [&](Session& s) {
        return setDividedFreq(s, f_dout, kMinOutDiv, &Config::outDiv, X502_ERR_INVALID_OUT_FREQ);
    });
}

E16SIM_API int32_t X502_SetStreamStep(t_x502_hnd h, uint32_t ch, uint32_t step) {
    return onModule(Entry::X502_SetStreamStep, h, [&](Session& s) {
        if (ch > X502_STREAM_CH_OUT) return X502_ERR_INVALID_STREAM_CH;
        (ch == X502_STREAM_CH_IN ? s.module->inStep : s.module->outStep) = step == 0 ? kDefaultStep : step;
        return X502_ERR_OK;
    });
}

E16SIM_API int32_t X502_SetStreamBufSize(t_x502_hnd h, uint32_t ch, uint32_t size) {
    return onModule(Entry::X502_SetStreamBufSize, h, [&](Session& s) {
        if (ch > X502_STREAM_CH_OUT) return X502_ERR_INVALID_STREAM_CH;
        if (const int32_t err = notWhileStreaming(s)) return err;
        if (ch == X502_STREAM_CH_IN) {
            s.module->inBufWords = clampBufSize(size, kDefaultInBufWords, kMaxInBufWords);
        } else {
            s.module->player.setFifoCapacity(clampBufSize(size, kDefaultOutBufWords, kMaxOutBufWords));
        }
        return X502_ERR_OK;
    });
}
