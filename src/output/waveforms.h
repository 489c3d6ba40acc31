// The waveform generator: builds one buffer of whole periods per analog output
// and the output rate that plays it at the requested frequency. Host thread
// only (it runs at recording start, before the streams do).
#pragma once

namespace velmora::driver {
struct DriverState;
}

namespace velmora::output {

// Builds both channels' samples in volts from their waveform settings and sets
// dacActiveCount, dacBufferLength and dacOutRate (raising dacSignalFreq to its
// minimum if needed). False, with only the running flags and dacActiveCount
// touched, when no channel has a waveform.
bool GenerateWaveforms(driver::DriverState& s);

// A new seed for the noise of one build: a value of the process-wide
// pseudo-random sequence in [0, 1) times 100. Thread-safe.
double NextNoiseSeed();

} // namespace velmora::output
