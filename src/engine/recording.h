// Recording: the guarded start, programming and starting the module, the
// acquisition worker thread and the stop path. Start and stop run on the host
// thread; AcquisitionWorker runs on the one worker thread.
#pragma once

#include <cstdint>

namespace velmora::driver {
struct DriverState;
}

namespace velmora::engine {

using driver::DriverState;

bool StartRecording(DriverState& s);
bool StartAcquisition(DriverState& s);
void BuildBlockTables(DriverState& s);
void AcquisitionWorker(DriverState& s);
// Tells the worker to stop, waits for it to end, stops the streams, clears
// the outputs' playing flags and writes the digital stop word if enabled.
void StopRecording(DriverState& s);
// Clears busy and waits for the worker to end (stopping the streams so that a
// pending receive returns), then releases its handle. Nothing when none.
void JoinWorker(DriverState& s);
// The worker's receive time-out in ms: twice a block's duration plus 5 s.
int32_t ReceiveTimeout(const DriverState& s);

} // namespace velmora::engine
