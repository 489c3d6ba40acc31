// Digital inputs and outputs of the module: the engine operations behind IDIO,
// the setup page and the recording's start and stop words. Host thread only.
#pragma once

#include <cstdint>

namespace velmora::driver {
struct DriverState;
}

namespace velmora::dio {

// Reads the inputs into dio.diValue and returns it; without a device object
// the stored word is returned and the module is not touched.
int32_t ReadDigitalInputs(driver::DriverState& s);
// Stores the whole word in dio.doValue and writes its low 16 bits; without a
// device object only the word is stored.
void WriteDigitalOutputs(driver::DriverState& s, int32_t value);
// The digital description filled at detection.
void DescribeDigitalIo(driver::DriverState& s);

} // namespace velmora::dio
