// The operations that span several subsystems of the DriverState: detection,
// the setters that reprogram the module, and recording's guarded start and
// its stop. The IADC3 members and the setup pages call these. Host thread only.
#pragma once

#include <cstdint>
#include <vector>

namespace velmora::device {
class TE16;
}

namespace velmora::engine {

struct DriverState;
class AddressPrompt;

// The module's streams stopped and the selection sent to it: rate, channel
// table and start synchronization. Its single-reading set-up is then gone.
void ProgramSelection(DriverState& s, device::TE16& dev);

// Test: detects once; true while detected.
bool TestDevice(DriverState& s, AddressPrompt& prompt);
// The whole detection; returns basePort, 0 on any failure.
int16_t DetectModule(DriverState& s, AddressPrompt& prompt);

void SetChannelRange(DriverState& s, int16_t index, int16_t rangeIndex);
// While recording, the rate in force; otherwise programs the module for the
// requested rate and returns what it achieves.
float GetRate(DriverState& s);
// The same rate unrounded: the module's frame frequency over the decimation.
double GetKadrRate(DriverState& s);
// Ignored while recording.
void SetRate(DriverState& s, float newRate);
// InputChannels let: ignored while recording; an empty list or a channel
// outside 0..31 makes the whole request ignored.
void SetInputChannels(DriverState& s, const std::vector<int16_t>& channels);
// InputSizeData let: stores the request and recomputes the sizes; a running
// recording keeps its ring until the next start.
void SetInputSizeRequested(DriverState& s, int32_t size);
// GetChannel: 0 while recording (the module is left alone), before any
// detection, or for a channel out of range.
int16_t ReadSingleChannel(DriverState& s, int16_t index);

// What a recording that ended by itself leaves to the host's thread: the
// stop path (outputs, digital stop word), its reason in endReason and
// lastError, and after a lost connection the module given up, so the next
// Test opens it again. A module lost outside a recording is given up too.
// Every member that reports the recording's or the module's state calls it
// first; returns `s` for the member to read.
DriverState& Settle(DriverState& s);
// IModule Close: stops a recording, closes the module; the next Test detects.
void CloseModule(DriverState& s);
// IModule SaveSettings: saves as the last release does; false with the
// reason in lastError. `again` false (the last release) skips a save that
// would write just what the last one wrote or tried to, or what the store
// held: the host that asked for it had its answer, and a locked store would
// hold it up once more.
bool SaveSettingsNow(DriverState& s, bool again = true);

// StartRecord: refused while recording or before detection.
bool StartRecordChecked(DriverState& s);
// The start itself: checks, ring, module programming, generator, worker.
bool StartRecording(DriverState& s);
// Tells the worker to stop, waits for it to end, stops the streams, clears
// the outputs' playing flags and writes the digital stop word if enabled.
void StopRecording(DriverState& s);

} // namespace velmora::engine
