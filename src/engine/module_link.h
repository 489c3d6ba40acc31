// ModuleLink: the opened module. Owns the device object (from the first
// detection to the last object's destruction), the detection result, the
// address the next detection opens and the module's identity. Host thread
// only; a running worker uses the device object, which is closed or released
// only after the worker has been joined.
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
    std::string backend; // which library answered, with its file and version

    // The address the host set for the next detection (0: the chooser asks).
    int32_t hostAddress = 0;
    // The address of a module whose connection was lost; the next detection
    // opens it again without asking. Cleared by a detection and by Close.
    int32_t lostAddress = 0;
    // The address the last detection opened or was refused at, for a host to
    // name it; 0 after a cancelled chooser.
    int32_t triedAddress = 0;

    device::TE16* Device() const { return device.get(); }
    // Detected, and no call has reported the connection lost since.
    bool Connected() const;
    // The address the next detection opens without the chooser; 0: none.
    int32_t PresetAddress() const { return hostAddress != 0 ? hostAddress : lostAddress; }
    // The open module's address, else the preset one, else the one last
    // tried; 0 when there is none.
    int32_t Address() const;
    // A fresh device object the first time, the same one closed afterwards.
    device::TE16& Prepare();
    // Name, revision, serial number and the information text of the open module.
    void ReadIdentity();
    // Closes the module and keeps the device object; nothing is detected
    // afterwards. After a lost connection the address is kept for the next
    // detection.
    void Close();
    void MarkLost();
    // Closes and releases the device object; nothing is detected afterwards.
    void Release();
};

} // namespace velmora::engine
