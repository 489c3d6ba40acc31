// The setters that reprogram the module and the single reading, each on the
// subsystems it names.
#include "engine/operations.h"

#include "engine/driver_state.h"

#include <algorithm>

namespace velmora::engine {

// Kadrs left from the last recording are read against the selection and the
// ranges in force: a change to either gives them up rather than have them
// named or scaled as channels they are not.
void DropUnreadIfChanged(DriverState& s, bool changed) {
    if (changed && !s.acquisition.Busy()) s.ring.DropUnread();
}

void SetChannelRange(DriverState& s, int16_t index, int16_t rangeIndex) {
    const AnalogInput& input = s.input;
    const bool selected = std::ranges::find(input.inputChannels, index) != input.inputChannels.end();
    const bool changed = selected && input.ChannelRange(index) != rangeIndex;
    if (!s.input.StoreChannelRange(index, rangeIndex)) return;
    DropUnreadIfChanged(s, changed);
    s.input.ProgramChannels(s.Device());
}

// While recording, the rate in force is returned as it is: programming the
// module would change the decimation under the running worker.
float GetRate(DriverState& s) {
    if (s.acquisition.Busy()) return s.input.rate;
    return s.input.ApplyRate(s.Device());
}

double GetKadrRate(DriverState& s) {
    GetRate(s);
    return s.input.kadrRate;
}

void SetRate(DriverState& s, float newRate) {
    if (!s.acquisition.Busy()) s.input.RequestRate(newRate);
}

void SetInputChannels(DriverState& s, const std::vector<int16_t>& channels) {
    if (s.acquisition.Busy() || !AnalogInput::SelectionAcceptable(channels)) return;
    AnalogInput& input = s.input;
    DropUnreadIfChanged(s, channels != input.inputChannels);
    input.inputChannels = channels;
    input.inputCountChannels = static_cast<int16_t>(channels.size());
    input.ProgramChannels(s.Device());
    s.ring.ComputeSize(input.inputCountChannels);
}

// While recording only the request is stored: the running ring keeps its size
// and the new one takes effect at the next start.
void SetInputSizeRequested(DriverState& s, int32_t size) {
    s.ring.requested = size;
    if (!s.acquisition.Busy()) s.ring.ComputeSize(s.input.inputCountChannels);
}

int16_t ReadSingleChannel(DriverState& s, int16_t index) {
    if (s.acquisition.Busy() || s.Device() == nullptr) return 0;
    return s.single.Read(s.input, *s.Device(), index);
}

} // namespace velmora::engine
