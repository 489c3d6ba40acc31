#include "engine/detection.h"

#include <memory>
#include <string>

#include "device/te16.h"
#include "dio/digital_io.h"
#include "driver/driver_state.h"
#include "engine/channels.h"
#include "engine/sync.h"
#include "output/dac_output.h"
#include "settings/driver_settings.h"
#include "ui/dialogs.h"

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

// A fresh device object the first time, the same one closed afterwards.
device::TE16& PrepareDevice(driver::DriverState& s) {
    if (!s.device)
        s.device = std::make_unique<device::TE16>();
    else
        s.device->Close();
    return *s.device;
}

// Rate, channel table and synchronization as loaded, sent to the module.
void ProgramModule(driver::DriverState& s, device::TE16& dev) {
    dev.StopStreams();
    ApplyRate(s);
    ProgramChannels(s);
    ProgramSync(s);
    dev.Configure();
    s.lastSingleChannel = -1; // the single-reading set-up is gone from the module
}

void DescribeOutputs(driver::DriverState& s, const device::TE16& dev) {
    if (dev.DacPresent()) {
        s.dacPresent = true;
        output::DescribeDac(s);
        settings::LoadDacSettings(s, s.serialNumber);
        output::StopDacOutput(s); // both outputs start at 0 V
    } else {
        s.dacChannelsCount = 0;
        s.dacPresent = false;
    }
    dio::DescribeDigitalIo(s);
}

} // namespace

int16_t DetectModule(driver::DriverState& s) {
    s.detected = false;
    s.boardName.clear();
    device::TE16& dev = PrepareDevice(s);
    if (!LibraryRecentEnough(dev)) {
        s.lastError = "Please reinstall " + s.adcName + " driver (X502API v1.1.30 is required)!";
        return 0;
    }
    if (!OpenChosenAddress(s)) {
        dev.Close();
        return 0;
    }
    BuildInfoText(s);
    settings::LoadSettings(s, s.serialNumber);
    ProgramModule(s, dev);
    DescribeOutputs(s, dev);
    s.lastError.clear();
    return static_cast<int16_t>((dev.OpenedAddress() & kBasePortMask) + 1);
}

bool OpenChosenAddress(driver::DriverState& s) {
    if (!s.device) return false;
    ui::Dialogs& dialogs = ui::CurrentDialogs();
    const int32_t address = dialogs.SelectIP(s.adcName);
    if (address == 0) return false;
    dialogs.WaitCursor(true);
    const bool opened = s.device->Open(address, device::TE16::kInterfaceEthernet);
    if (!opened) s.lastError = s.device->LastErrorText() + ".";
    dialogs.WaitCursor(false);
    return opened;
}

void BuildInfoText(driver::DriverState& s) {
    if (!s.device) return;
    const device::TE16& dev = *s.device;
    s.boardName = dev.BoardName();
    s.boardRevision = dev.BoardRevision();
    s.serialNumber = dev.SerialNumber();
    s.infoText = "Board:\t" + s.boardName + ", rev." + s.boardRevision + "\r\n";
    s.infoText += "Serial N:\t" + s.serialNumber + "\r\n";
    s.infoText += "MCU:\tVer." + dev.McuVersion() + "\r\n";
    s.infoText += "FPGA:\tVer." + dev.FpgaVersion();
}

} // namespace velmora::engine
