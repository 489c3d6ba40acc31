// DigitalIo: the module's 16 digital inputs and 16 outputs, the last words
// read and written, and the words a recording writes at its start and stop.
// Host thread only; every operation takes the device object, null before
// the first detection.
#pragma once

#include <cstdint>

namespace velmora::device {
class TE16;
}

namespace velmora::dio {

class DigitalIo {
public:
    bool present = false; // true from the first detection on
    uint8_t diBits = 0;
    uint8_t doBits = 0;
    int32_t diValue = 0; // the word read last
    int32_t doValue = 0; // the whole word written last; the lines take its low 16 bits
    bool doStartEnabled = false;
    bool doStopEnabled = false;
    int32_t doStartValue = 0;
    int32_t doStopValue = 0;

    // Reads the inputs into diValue and returns it; without a device the
    // stored word is returned and nothing is read.
    int32_t ReadInputs(device::TE16* dev);
    // Stores the word and writes its low 16 bits; without a device only stores.
    void WriteOutputs(device::TE16* dev, int32_t value);
    // The description filled at detection. The output lines are not written:
    // they keep what they show.
    void Describe(device::TE16* dev);
};

} // namespace velmora::dio
