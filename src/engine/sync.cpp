#include "engine/sync.h"

#include "device/te16.h"

namespace velmora::engine {
namespace {

// The table's codes are the module library's.
static_assert(core::StartKindOf(core::StartMode::Syn1Rise).moduleCode == X502_SYNC_SYN1_RISE &&
              core::StartKindOf(core::StartMode::Syn2Fall).moduleCode == X502_SYNC_SYN2_FALL &&
              core::StartKindOf(core::StartMode::AnalogLevel).moduleCode == X502_SYNC_ADC_ABOVE_LEVEL &&
              core::StartKindOf(core::StartMode::Internal).moduleCode == X502_SYNC_INTERNAL);

// The watched input of the analog start: unlike a recorded channel, a
// differential entry on the upper half is watched as a common-ground input.
void ProgramAnalogStart(const core::StartKind& kind, const core::StartSync& sync,
                        const core::ChannelTable& table, device::TE16& dev) {
    const auto direction = static_cast<int16_t>(sync.direction);
    if (direction >= 0 && direction <= 3)
        dev.SetSyncStartMode(static_cast<int32_t>(kind.moduleCode) + direction);
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
    const core::StartKind& kind = core::StartKindOf(sync.mode);
    if (kind.level) return ProgramAnalogStart(kind, sync, table, dev);
    if (kind.digitalInput) dev.SetDigInPullup(0);
    dev.SetSyncStartMode(static_cast<int32_t>(kind.moduleCode));
}

} // namespace velmora::engine
