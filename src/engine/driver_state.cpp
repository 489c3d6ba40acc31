#include "engine/driver_state.h"

namespace velmora::engine {

DriverState::DriverState() = default;
DriverState::~DriverState() = default;

settings::InputRecord DriverState::InputSettings() {
    return {input.rate, input.rateMax, input.channelTable, input.channelsCount, sync};
}

} // namespace velmora::engine
