// Module detection: library version check, the address chooser, opening the
// module, its identity, its settings and programming it.
#include <string>

#include "device/te16.h"
#include "engine/address_prompt.h"
#include "engine/driver_state.h"
#include "engine/operations.h"
#include "engine/sync.h"

namespace velmora::engine {
namespace {

constexpr int16_t kRequiredMinor = 1;
constexpr int16_t kRequiredBuild = 30;
constexpr int32_t kBasePortMask = 0x7FFF;

// 1.1.30 or later, field by field.
bool LibraryRecentEnough(const device::TE16& dev) {
    const int16_t major = dev.LibraryVersionMajor();
    if (major != 1) return major > 1;
    const int16_t minor = dev.LibraryVersionMinor();
    if (minor != kRequiredMinor) return minor > kRequiredMinor;
    return dev.LibraryVersionBuild() >= kRequiredBuild;
}

// Opens the preset address, or asks the chooser for one; `tried` is the
// address opened or refused, 0 when the chooser was cancelled.
bool OpenChosenAddress(AddressPrompt& prompt, int32_t preset, device::TE16& dev, const std::string& name,
                       int32_t& tried, std::string& error) {
    const int32_t address = tried = preset != 0 ? preset : prompt.SelectIP(name);
    if (address == 0) return false;
    prompt.WaitCursor(true);
    const bool opened = dev.Open(address, device::TE16::kInterfaceEthernet);
    if (!opened) error = dev.LastErrorText() + ".";
    prompt.WaitCursor(false);
    return opened;
}

// Rate, channel table and synchronization as loaded, sent to the module.
void ProgramModule(DriverState& s, device::TE16& dev) {
    ProgramSelection(s, dev);
    dev.Configure();
}

void DescribeOutputs(DriverState& s, device::TE16& dev, bool loadSaved) {
    if (dev.DacPresent()) {
        s.module.dacPresent = true;
        const core::GeneratorSetup kept = s.output.generator;
        s.output.Describe();
        if (loadSaved)
            s.settings.LoadGenerator(s.module.serialNumber, s.output.Limits(), s.output.channelsCount,
                                     s.output.generator);
        else
            s.output.generator = kept;
        s.output.Stop(&dev); // both outputs start at 0 V
    } else {
        s.output.channelsCount = 0;
        s.module.dacPresent = false;
    }
    s.dio.Describe(&dev);
}

} // namespace

void ProgramSelection(DriverState& s, device::TE16& dev) {
    dev.StopStreams();
    s.single.Forget();
    s.input.ApplyRate(&dev);
    s.input.ProgramChannels(&dev);
    ProgramSync(s.sync, s.input.channelTable, dev);
}

bool TestDevice(DriverState& s, AddressPrompt& prompt) {
    Settle(s);
    if (!s.module.detected) {
        s.module.basePort = 0;
        s.module.basePort = DetectModule(s, prompt);
        if (s.module.basePort != 0) s.module.detected = true;
    }
    return s.module.detected;
}

int16_t DetectModule(DriverState& s, AddressPrompt& prompt) {
    s.module.detected = false;
    // The module whose connection was lost, opened again, keeps what the host
    // set on it since its saved settings were loaded; any other starts from them.
    const std::string lostSerial = s.module.lostAddress != 0 ? s.module.serialNumber : std::string();
    device::TE16& dev = s.module.Prepare();
    // Backend names the library refused for its version too.
    s.module.backend = dev.BackendText();
    if (!LibraryRecentEnough(dev)) {
        s.lastError = "Please reinstall " + s.input.adcName + " driver (X502API v1.1.30 is required)!";
        if (const std::string why = dev.LibraryProblem(); !why.empty()) s.lastError += " " + why + ".";
        return 0;
    }
    if (!OpenChosenAddress(prompt, s.module.PresetAddress(), dev, s.input.adcName, s.module.triedAddress,
                           s.lastError)) {
        dev.Close();
        return 0;
    }
    s.module.lostAddress = 0;
    s.module.ReadIdentity();
    const bool loadSaved = lostSerial.empty() || lostSerial != s.module.serialNumber;
    if (loadSaved) s.settings.LoadInput(s.module.serialNumber, s.InputSettings());
    ProgramModule(s, dev);
    DescribeOutputs(s, dev, loadSaved);
    s.lastError.clear();
    // An address ending in fifteen set bits gives 32768, past an Integer: it
    // reads as -32768, still not 0, which is all a host may take from it.
    return static_cast<int16_t>((dev.OpenedAddress() & kBasePortMask) + 1);
}

} // namespace velmora::engine
