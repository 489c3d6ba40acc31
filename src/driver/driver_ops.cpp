#include "driver/driver_ops.h"

#include <exception>
#include <string>

#include "device/te16.h"
#include "engine/operations.h"
#include "velmora/interfaces.h"

namespace velmora::driver {
namespace {

constexpr const char* kTypeName = "Lintara";
constexpr const char* kAdcName = "E16";

// Start-up steps go on after a fault in one of them, as the host expects a
// created object whatever happens.
template <typename Step> void IgnoringFaults(Step step) {
    try {
        step();
    } catch (...) {}
}

std::string TypeNameForDisplay() {
    std::string name = kTypeName;
    for (char& c : name)
        if (c == '_') c = '-';
    return name;
}

} // namespace

namespace {

// What outlives a driver lifetime.
struct ProcessMemory {
    dio::DigitalIo dio;
    int16_t setupLastTab = 0;
};
ProcessMemory memory;
// Not destroyed at exit: the vendor library may already be unloaded then, and
// a record a host never released must not call into it.
DriverState* current = nullptr;

} // namespace

DriverState& State() {
    if (current == nullptr) {
        current = new DriverState;
        current->dio = memory.dio;
        current->setupLastTab = memory.setupLastTab;
    }
    return *current;
}

void EndLifetime() {
    if (current == nullptr || current->instanceCount > 0) return;
    memory = {current->dio, current->setupLastTab};
    delete current;
    current = nullptr;
}

void OnObjectCreated(DriverState& s) {
    IgnoringFaults([&] {
        s.input.driverTypeName = TypeNameForDisplay();
        s.input.adcName = kAdcName;
    });
    if (s.instanceCount < 1) {
        IgnoringFaults([&] { s.settings.PrepareLocation(s.input.adcName); });
        IgnoringFaults([&] { InitFirstInstance(s); });
        IgnoringFaults([&] { InitDescription(s); });
        IgnoringFaults([&] { s.settings.LoadInput({}, s.InputSettings()); });
    }
    ++s.instanceCount;
}

void OnObjectDestroyed(DriverState& s) {
    if (s.instanceCount < 2) {
        IgnoringFaults([&] { ShutdownLastInstance(s); });
        // Both keys in one transaction: a locked store holds the host up once, not per value.
        IgnoringFaults([&] { engine::SaveSettingsNow(s, false); });
    }
    --s.instanceCount;
}

void InitFirstInstance(DriverState& s) {
    s.settings.LocateHelpFile();
    s.input.channelTable = core::DefaultChannelTable();
}

void InitDescription(DriverState& s) {
    s.input.Describe();
    s.ring.requested = kDefaultInputSizeData;
}

void ShutdownLastInstance(DriverState& s) {
    // A recording that ended by itself since the host's last call still
    // owes the stop path (outputs, digital stop word).
    if (engine::Settle(s).acquisition.Busy()) engine::StopRecording(s);
    s.acquisition.Join(); // the worker never outlives the device object
    s.module.Release();
}

} // namespace velmora::driver
