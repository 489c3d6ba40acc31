#include "engine/module_link.h"

#include "device/te16.h"

namespace velmora::engine {

ModuleLink::ModuleLink() = default;
ModuleLink::~ModuleLink() = default;

device::TE16& ModuleLink::Prepare() {
    if (!device)
        device = std::make_unique<device::TE16>();
    else
        device->Close();
    return *device;
}

void ModuleLink::ReadIdentity() {
    if (!device) return;
    const device::TE16& dev = *device;
    boardName = dev.BoardName();
    boardRevision = dev.BoardRevision();
    serialNumber = dev.SerialNumber();
    infoText = "Board:\t" + boardName + ", rev." + boardRevision + "\r\n";
    infoText += "Serial N:\t" + serialNumber + "\r\n";
    infoText += "MCU:\tVer." + dev.McuVersion() + "\r\n";
    infoText += "FPGA:\tVer." + dev.FpgaVersion();
    backend = dev.BackendText();
}

bool ModuleLink::Connected() const {
    return detected && device && !device->ConnectionLost();
}

int32_t ModuleLink::Address() const {
    if (detected && device && device->OpenedAddress() != -1) return device->OpenedAddress();
    return PresetAddress() != 0 ? PresetAddress() : triedAddress;
}

void ModuleLink::Close() {
    if (device) device->Close();
    detected = false;
    basePort = 0;
    lostAddress = 0;
}

void ModuleLink::MarkLost() {
    const int32_t address = device ? device->OpenedAddress() : -1;
    Close();
    lostAddress = address != -1 ? address : 0;
}

void ModuleLink::Release() {
    if (device) {
        device->Close();
        device.reset();
    }
    detected = false;
    dacPresent = false;
}

} // namespace velmora::engine
