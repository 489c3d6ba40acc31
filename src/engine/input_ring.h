// The input ring of whole kadrs between the worker (the one writer) and the
// host (the one reader). Positions are 1-based kadr numbers; see DriverState
// for which thread writes which position.
#pragma once

#include <cstdint>
#include <vector>

namespace velmora::driver {
struct DriverState;
}

namespace velmora::engine {

using driver::DriverState;

int32_t ComputeInputSize(DriverState& s);
bool AllocateInput(DriverState& s);
bool PrepareInput(DriverState& s);
int32_t CountUnreadKadrs(DriverState& s);
// Host side, not while busy: the kadrs left unread are given up.
void DropUnread(DriverState& s);

// Everything unread, as the host's two-dimensional array (0..n-1, 0..U):
// column 0 holds the channel list, columns 1..U the kadrs; element (i, k) at
// i + k * n.
struct InputTable {
    int32_t channels = 0;
    int32_t kadrs = 0;           // U
    std::vector<int16_t> values; // channels * (kadrs + 1)
};
InputTable TakeInputData(DriverState& s);

// GetData: copies whole kadrs into buffer (capacity `count` samples); sets
// count to the samples written and rest to the samples still unread; returns
// the kadrs written.
int32_t CopyInputData(DriverState& s, int16_t* buffer, int32_t& count, int32_t& rest);

// Worker side: appends `kadrs` kadrs of codes at ring position `next`
// (wrapping), publishes them and returns the next write position.
int32_t WriteKadrs(DriverState& s, const int16_t* codes, int32_t kadrs, int32_t next);

} // namespace velmora::engine
