#include "drain.h"

#include <pybind11/pybind11.h>

#include "unlocked.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <thread>

namespace lintara {
namespace {

namespace py = pybind11;
using Clock = std::chrono::steady_clock;

// Between drains the worker fills the ring; 20 ms keeps a 32-channel ring
// (2 s at the module's full rate) far from full and Ctrl-C prompt.
constexpr auto kDrainPeriod = std::chrono::milliseconds(20);

// Takes what the ring holds, up to `rows` rows, counting them in `taken`
// as they come (a session closed midway keeps the count of what came).
void DrainOnce(Session& session, uint64_t run, int16_t* first, int64_t rows, int channels, int64_t& taken) {
    const int64_t perCall = std::numeric_limits<int32_t>::max() / channels;
    while (taken < rows) {
        const int64_t want = std::min(rows - taken, perCall);
        const int32_t kadrs =
            session.GetData(first + taken * channels, static_cast<int32_t>(want * channels), run);
        if (kadrs <= 0) break;
        taken += kadrs;
    }
}

} // namespace

DrainResult Fill(Session& session, uint64_t run, int16_t* first, int64_t rows, int channels,
                 std::optional<double> dataLimit) {
    // The driver copies kadrs of its own width: another thread's selection
    // made since the array was would scramble its rows.
    std::size_t selected = 0;
    {
        Unlocked unlocked;
        selected = session.Channels().size();
    }
    if (static_cast<std::size_t>(channels) != selected)
        throw DriverFailure("the selected channels changed after the array for them was made (by another "
                            "thread?): record again");
    DrainResult result;
    auto lastData = Clock::now();
    while (result.kadrs < rows) {
        int64_t taken = 0;
        bool busy = true;
        try {
            Unlocked unlocked;
            DrainOnce(session, run, first + result.kadrs * channels, rows - result.kadrs, channels, taken);
            // Busy read before a last drain, so no kadr written before the end is missed. A
            // recording started since (a stream closed from another thread, then a new
            // one) is not this one's.
            if (taken == 0 && !(busy = session.Busy() && Session::LastRun() == run))
                DrainOnce(session, run, first + result.kadrs * channels, rows - result.kadrs, channels,
                          taken);
        } catch (const DriverFailure&) {
            if (session.IsOpen()) throw;
            result.kadrs += taken; // what came stays the caller's
            result.end = DrainEnd::Closed;
            break;
        }
        result.kadrs += taken;
        if (result.kadrs >= rows) break;
        if (PyErr_CheckSignals() != 0) {
            result.end = DrainEnd::Raised;
            break;
        }
        if (taken > 0) {
            lastData = Clock::now();
        } else if (!busy) {
            result.end = DrainEnd::Ended;
            break;
        } else if (dataLimit && std::chrono::duration<double>(Clock::now() - lastData).count() > *dataLimit) {
            result.end = DrainEnd::TimedOut;
            break;
        }
        Unlocked unlocked;
        std::this_thread::sleep_for(kDrainPeriod);
    }
    return result;
}

} // namespace lintara
