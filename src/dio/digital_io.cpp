#include "dio/digital_io.h"

#include "device/te16.h"
#include "driver/driver_state.h"

namespace velmora::dio {

namespace {
constexpr uint8_t kLines = 16;
}

int32_t ReadDigitalInputs(driver::DriverState& s) {
    if (s.device) s.dio.diValue = s.device->AsyncInDig();
    return s.dio.diValue;
}

void WriteDigitalOutputs(driver::DriverState& s, int32_t value) {
    s.dio.doValue = value; // the whole word; only its low 16 bits reach the lines
    if (s.device) s.device->AsyncOutDig(value);
}

void DescribeDigitalIo(driver::DriverState& s) {
    s.dio.present = true;
    s.dio.diBits = kLines;
    s.dio.doBits = kLines;
    ReadDigitalInputs(s);
    s.dio.doValue = 0; // the lines are not written: they keep what they show
}

} // namespace velmora::dio
