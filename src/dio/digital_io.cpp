#include "dio/digital_io.h"

#include "device/te16.h"

namespace velmora::dio {
namespace {

constexpr uint8_t kLines = 16;

} // namespace

int32_t DigitalIo::ReadInputs(device::TE16* dev) {
    if (dev != nullptr) diValue = dev->AsyncInDig();
    return diValue;
}

void DigitalIo::WriteOutputs(device::TE16* dev, int32_t value) {
    doValue = value;
    if (dev != nullptr) dev->AsyncOutDig(value);
}

void DigitalIo::Describe(device::TE16* dev) {
    present = true;
    diBits = kLines;
    doBits = kLines;
    ReadInputs(dev);
    doValue = 0;
}

} // namespace velmora::dio
