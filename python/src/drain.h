// Draining a running recording into the caller's array: GetData writes
// straight into the rows, the waits between drains run without the GIL, and
// pending signals are handled between drains. Called with the GIL held.
#pragma once

#include "session.h"

#include <cstdint>

namespace lintara {

enum class DrainEnd {
    Full,    // every row filled
    Silent,  // no kadr for the silence time while the recording ran
    Stopped, // the recording ended before the rows were filled
};

struct DrainResult {
    int64_t kadrs = 0; // rows filled by this call
    DrainEnd end = DrainEnd::Full;
};

// Fills `rows` rows of `channels` samples from `first` on. A signal handler
// that raised (Ctrl-C) ends it with pybind11::error_already_set; the
// recording is left running for the caller to stop.
DrainResult Fill(Session& session, int16_t* first, int64_t rows, int channels, double silenceSeconds);

} // namespace lintara
