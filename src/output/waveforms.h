// The waveform generator: builds both analog outputs' sample buffers for the
// cyclic output of a recording. Host thread only, before the streams start
// (NextNoiseSeed alone is thread-safe).
#pragma once

namespace velmora::output {

class AnalogOutput;

// Sets each channel's running flag from its waveform, and activeCount.
// True when the buffers to play are built (samples, bufferLength, outRate;
// signalFreq raised to its minimum if below it); false when there is nothing
// to play, and then both running flags are false and activeCount is 0.
bool GenerateWaveforms(AnalogOutput& out);

// A new seed for the noise of one build: the next value of the process-wide
// pseudo-random sequence, in [0, 1), times 100.
double NextNoiseSeed();

} // namespace velmora::output
