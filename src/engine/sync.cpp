#include "engine/sync.h"

#include <cmath>

#include "device/te16.h"
#include "driver/driver_state.h"

namespace velmora::engine {
namespace {

constexpr int16_t kModeAnalog = 5;
constexpr int32_t kEdgeCodes[] = {X502_SYNC_SYN1_RISE, X502_SYNC_SYN1_FALL, X502_SYNC_SYN2_RISE,
                                  X502_SYNC_SYN2_FALL};
constexpr double kCodesPerVolt = 3200.0; // 32000 codes over the 10 V range

int32_t Fold(int32_t value) {
    return ((value % driver::kChannels) + driver::kChannels) % driver::kChannels;
}

// The watched input of the analog start: unlike a recorded channel, a
// differential entry on the upper half is watched as a common-ground input.
void ProgramAnalogStart(driver::DriverState& s, device::TE16& dev) {
    if (s.syncAdDirection >= 0 && s.syncAdDirection <= 3)
        dev.SetSyncStartMode(static_cast<int32_t>(X502_SYNC_ADC_ABOVE_LEVEL) + s.syncAdDirection);
    const driver::ChannelEntry& e = s.channelTable[static_cast<std::size_t>(Fold(s.syncAdChannel))];
    const int32_t p = Fold(e.source);
    const bool common = e.singleEnded != 0 || p >= driver::kChannels / 2;
    const int32_t mode = common ? X502_LCH_MODE_COMM : X502_LCH_MODE_DIFF;
    const double volts = s.syncAdLevel / (kCodesPerVolt * std::ldexp(1.0, 2 * s.syncAdRange));
    dev.SetAdcSyncStartValue(p, mode, s.syncAdRange, volts);
}

} // namespace

void ProgramSync(driver::DriverState& s) {
    if (!s.device) return;
    device::TE16& dev = *s.device;
    dev.SetSyncMode(X502_SYNC_INTERNAL);
    if (s.syncStartMode >= 1 && s.syncStartMode <= 4) {
        dev.SetDigInPullup(0);
        dev.SetSyncStartMode(kEdgeCodes[s.syncStartMode - 1]);
    } else if (s.syncStartMode != kModeAnalog) {
        dev.SetSyncStartMode(X502_SYNC_INTERNAL);
    } else {
        ProgramAnalogStart(s, dev);
    }
}

} // namespace velmora::engine
