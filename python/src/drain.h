// Draining a running recording into the caller's array: GetData writes
// straight into the rows, the waits between drains run without the GIL, and
// pending signals are handled between drains. Called with the GIL held.
#pragma once

#include "session.h"

#include <cstdint>
#include <optional>

namespace lintara {

enum class DrainEnd {
    Full,     // every row filled
    Ended,    // Busy read false first: the driver's end, or a stop from elsewhere
    TimedOut, // no kadr for the caller's limit while the recording ran
    Closed,   // another thread closed the session
    Raised,   // a signal handler raised (Ctrl-C): its exception is pending
};

struct DrainResult {
    int64_t kadrs = 0; // rows filled by this call
    DrainEnd end = DrainEnd::Full;
};

// Fills `rows` rows of `channels` samples from `first` on, of recording
// `run` only (Session::Start's number). The driver decides
// when a silent module ends the recording; `dataLimit` (seconds without a
// kadr) only bounds the wait for a host that asks for it. A signal handler
// that raised (Ctrl-C) ends it as Raised with the exception pending, so that
// the caller gets the rows that came with it; the recording is left running
// for the caller to stop.
DrainResult Fill(Session& session, uint64_t run, int16_t* first, int64_t rows, int channels,
                 std::optional<double> dataLimit);

} // namespace lintara
