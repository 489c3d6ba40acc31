#include "engine/sync.h"

#include "device/te16.h"

namespace velmora::engine {
namespace {

using core::StartMode;

// The module's code of each edge mode, Syn1Rise first.
constexpr int32_t kEdgeCodes[] = {X502_SYNC_SYN1_RISE, X502_SYNC_SYN1_FALL, X502_SYNC_SYN2_RISE,
                                  X502_SYNC_SYN2_FALL};

bool IsEdge(StartMode mode) {
    return mode >= StartMode::Syn1Rise && mode <= StartMode::Syn2Fall;
}

// The watched input of the analog start: unlike a recorded channel, a
// differential entry on the upper half is watched as a common-ground input.
void ProgramAnalogStart(const core::StartSync& sync, const core::ChannelTable& table, device::TE16& dev) {
    const auto direction = static_cast<int16_t>(sync.direction);
    if (direction >= 0 && direction <= 3)
        dev.SetSyncStartMode(static_cast<int32_t>(X502_SYNC_ADC_ABOVE_LEVEL) + direction);
    const core::ChannelEntry& e = table[static_cast<std::size_t>(core::FoldChannel(sync.channel))];
    const int32_t p = core::FoldChannel(e.source);
    const bool common = e.singleEnded != 0 || p >= core::kChannels / 2;
    const int32_t mode = common ? X502_LCH_MODE_COMM : X502_LCH_MODE_DIFF;
    const double volts = sync.level / core::RangeCodesPerVolt(sync.range);
    dev.SetAdcSyncStartValue(p, mode, sync.range, volts);
}

} // namespace

void ProgramSync(const core::StartSync& sync, const core::ChannelTable& table, device::TE16& dev) {
    dev.SetSyncMode(X502_SYNC_INTERNAL);
    if (IsEdge(sync.mode)) {
        dev.SetDigInPullup(0);
        dev.SetSyncStartMode(kEdgeCodes[static_cast<int16_t>(sync.mode) - 1]);
    } else if (sync.mode == StartMode::AnalogLevel) {
        ProgramAnalogStart(sync, table, dev);
    } else {
        dev.SetSyncStartMode(X502_SYNC_INTERNAL);
    }
}

} // namespace velmora::engine
