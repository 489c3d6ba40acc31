#include "config.h"

#include <cmath>

#include "device/x502api.h"
#include "word_format.h"

namespace e16sim {

double Config::acqFreq() const {
    return kRefFreq / adcDiv;
}
double Config::frameFreq() const {
    return kRefFreq / static_cast<double>(framePeriod());
}
double Config::dinFreq() const {
    return kRefFreq / dinDiv;
}
double Config::outFreq() const {
    return kRefFreq / outDiv;
}

uint32_t dividerFor(double freq, uint32_t minDiv, uint32_t maxDiv) {
    const double div = std::floor(kRefFreq / freq + 0.49);
    if (!(div >= minDiv)) return minDiv; // also catches an infinite or NaN quotient
    return div >= maxDiv ? maxDiv : static_cast<uint32_t>(div);
}

namespace {

uint32_t frameDelayFor(const Config& cfg, const double* frameFreq) {
    if (frameFreq == nullptr || !(*frameFreq > 0.0)) return 0;
    const double delay = std::floor(kRefFreq / *frameFreq - double(cfg.lchCount) * cfg.adcDiv + 0.49);
    if (!(delay > 0.0)) return 0;
    return delay >= kMaxFrameDelay ? kMaxFrameDelay : static_cast<uint32_t>(delay);
}

} // namespace

int32_t setAdcFreq(Config& cfg, double* acqFreq, double* frameFreq) {
    if (acqFreq == nullptr) return X502_ERR_INVALID_POINTER;
    if (!(*acqFreq > 0.0) || std::isinf(*acqFreq)) return X502_ERR_INVALID_ADC_FREQ;
    cfg.adcDiv = dividerFor(*acqFreq, kMinAdcDiv, kMaxAdcDiv);
    cfg.frameDelay = frameDelayFor(cfg, frameFreq);
    *acqFreq = cfg.acqFreq();
    if (frameFreq != nullptr) *frameFreq = cfg.frameFreq();
    return X502_ERR_OK;
}

int32_t checkLChannel(uint32_t lch, uint32_t phy, uint32_t mode, uint32_t range) {
    if (lch >= kMaxLChannels) return X502_ERR_INVALID_LCH_NUMBER;
    if (mode > X502_LCH_MODE_ZERO) return X502_ERR_INVALID_LCH_MODE;
    if (range >= kRangeCount) return X502_ERR_INVALID_LCH_RANGE;
    const uint32_t phyLimit = mode == X502_LCH_MODE_COMM ? kPhysicalInputs : kPhysicalInputs / 2;
    return phy < phyLimit ? X502_ERR_OK : X502_ERR_INVALID_LCH_PHY_NUMBER;
}

int32_t checkSyncWatch(uint32_t phy, uint32_t mode, uint32_t range) {
    return checkLChannel(0, phy, mode, range);
}

bool isValidStartMode(uint32_t mode) {
    switch (mode) {
    case X502_SYNC_INTERNAL:
    case X502_SYNC_EXTERNAL_MASTER:
    case X502_SYNC_SYN1_RISE:
    case X502_SYNC_SYN1_FALL:
    case X502_SYNC_SYN2_RISE:
    case X502_SYNC_SYN2_FALL:
    case X502_SYNC_ADC_ABOVE_LEVEL:
    case X502_SYNC_ADC_EDGE_RISE:
    case X502_SYNC_ADC_EDGE_FALL:
    case X502_SYNC_ADC_BELOW_LEVEL:
        return true;
    default:
        return false;
    }
}

bool isValidSyncMode(uint32_t mode) {
    return mode <= X502_SYNC_SYN2_FALL && mode != 4 && mode != 5;
}

} // namespace e16sim
