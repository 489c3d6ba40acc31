// ModuleLink: the opened module. Owns the device object (from the first
// detection to the last object's destruction), the detection result and the
// module's identity. Host thread only; a running worker uses the device
// object, which is released only after the worker has been joined.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace velmora::device {
class TE16;
}

namespace velmora::engine {

class ModuleLink {
public:
    ModuleLink();
    ~ModuleLink();
    ModuleLink(const ModuleLink&) = delete;
    ModuleLink& operator=(const ModuleLink&) = delete;

    bool detected = false;
    int16_t basePort = 0;
    bool dacPresent = false;
    std::unique_ptr<device::TE16> device;
    std::string boardName, boardRevision, serialNumber, infoText;

    device::TE16* Device() const { return device.get(); }
    // A fresh device object the first time, the same one closed afterwards.
    device::TE16& Prepare();
    // Name, revision, serial number and the information text of the open module.
    void ReadIdentity();
    // Closes and releases the device object; nothing is detected afterwards.
    void Release();
};

} // namespace velmora::engine
