// Acquisition: the recording's worker thread, its stop signal, the stream
// tables it works with and how the recording ended. The host thread launches
// and joins the worker; the worker receives what arrived every few
// milliseconds, scales its whole kadrs to codes into the input ring, and ends
// the recording by itself when the module is lost, overflows or falls
// silent. Shared between the two threads: busy, the ended cause and the
// start time (atomics, see each); the tables and the end's text belong to
// the worker while it runs.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/volts_to_codes.h"
#include "platform/thread.h"
#include "platform/wait_signal.h"

namespace velmora::device {
class TE16;
}

namespace velmora::engine {

class InputRing;

// The stream tables, built at each start: room for the words one pass may
// take (a block of at least 40 ms), and the scales of a kadr's positions.
struct BlockTables {
    int32_t blockKadrs = 0, blockWords = 0;
    std::vector<uint32_t> raw;
    std::vector<double> values; // volts, turned into codes straight in the ring
    CodeScales scales;          // codes per volt of each position in a kadr
};

// How long one receive waits: the whole kadrs that arrived are handed over
// at least this often while the host looks as often, and a stop is seen
// within it whatever the library. 5 ms keeps the newest kadr a host holds
// under 5 ms old nine polls in ten; each hand-over wakes the worker, which
// on a virtual machine costs more than the pass's own work.
inline constexpr int32_t kHandOverMs = 5;
// A host that looks less often than every kHandOverMs gets its kadrs handed
// over as often as it looks, down to this, for fewer wake-ups.
inline constexpr int32_t kSlowestHandOverMs = 8;

// How often to hand over, from how often the host polled the ring over the
// last window: its polling period within [kHandOverMs, kSlowestHandOverMs].
// Worker thread only.
class HandOverPace {
public:
    static constexpr auto kWindow = std::chrono::milliseconds(100);
    using Clock = std::chrono::steady_clock;

    explicit HandOverPace(Clock::time_point start) : since_(start) {}
    // `polls`: the ring's count now.
    std::chrono::milliseconds Interval(uint64_t polls, Clock::time_point now);

private:
    uint64_t polls_ = 0;
    Clock::time_point since_;
    std::chrono::milliseconds interval_{kHandOverMs};
};

// What one worker run uses; fixed for its whole run.
struct WorkerJob {
    device::TE16& dev; // outlives the worker: released only after a join
    InputRing& ring;
    int32_t channels;   // per kadr
    int32_t decimation; // > 1: the module runs faster, the first of every `decimation` kadrs is kept
    int32_t timeout;    // ms; once data have come, silence this long ends the recording
    double rate;        // kadrs per second
    double acqFreq;     // samples per second within a frame
};

// Why the worker ended a recording by itself.
enum class EndCause { None, ConnectionLost, Overflow, Silence, Failing };

class Acquisition {
public:
    Acquisition();
    // A record that goes while recording still runs must not leave the
    // worker behind.
    ~Acquisition();
    Acquisition(const Acquisition&) = delete;
    Acquisition& operator=(const Acquisition&) = delete;

    BlockTables blocks;

    // acquire: pairs with the release of the side that cleared it.
    bool Busy() const { return busy_.load(std::memory_order_acquire); }
    // release: what the clearing side did before is seen by whoever reads it false.
    void ClearBusy() { busy_.store(false, std::memory_order_release); }
    // Sets busy and starts the worker; false when no thread could be made.
    bool Launch(WorkerJob job);
    // Clears busy and waits for the worker to end (its receives are short,
    // and a stop wakes its waits), then releases its handle. Nothing when
    // none runs.
    void Join();
    bool HasWorker() const { return thread_ != nullptr; }

    // How the last worker ended: None while it runs or after the host's stop.
    // The text is the library's, or ours for silence; read it only once the
    // cause is not None.
    EndCause Ended() const { return ended_.load(std::memory_order_acquire); }
    const std::string& EndText() const { return endText_; }
    // When the run's first kadr was taken, seconds since 1970 UTC; 0 before it.
    double FirstKadrTime() const { return firstKadrTime_.load(std::memory_order_acquire); }

private:
    // Where the stream stands between passes.
    struct Stream {
        int32_t carried = 0; // words of a partial kadr at the front of the raw table
        int32_t skip = 0;    // kadrs to drop before the next one kept (decimation)
    };

    void Run(const WorkerJob& job);
    bool Pause(InputRing& ring, uint32_t ms) const;
    void PaceHandOver(const WorkerJob& job, HandOverPace& pace, std::chrono::steady_clock::time_point asked,
                      bool filled);
    template <typename Done> bool WaitUntil(InputRing& ring, Done done) const;
    void NoteFirstKadr(const WorkerJob& job, int32_t received);
    void EndByItself(EndCause cause, std::string text);
    int32_t KeepKadrs(const WorkerJob& job, int32_t kadrs, Stream& stream);
    bool HandOver(const WorkerJob& job, int32_t words, Stream& stream);

    // The stop signal: the host sets it false, the worker reads it at every
    // wait and clears it when it ends.
    std::atomic<bool> busy_{false};
    // Wakes the hand-over pauses at a stop alone: the host's reads, which
    // the ring's signal carries, do not concern them.
    platform::WaitSignal stopSignal_;
    std::unique_ptr<platform::Thread> thread_; // host thread only
    // The worker writes endText_ and then stores ended_ (release); the host
    // loads ended_ (acquire) before it reads the text. Reset at each launch.
    std::atomic<EndCause> ended_{EndCause::None};
    std::string endText_;
    std::atomic<double> firstKadrTime_{0.0};
    // Set with the thread, cleared by the join (host thread only).
    InputRing* ring_ = nullptr;
};

// The silence in ms that ends a recording once data have come: twice the
// module's kadr time (the rate times the decimation) plus 5 s. A receive
// waits kHandOverMs, not a block's time, so a block's length has no part
// in it.
int32_t ReceiveTimeout(float rate, int32_t decimation);

} // namespace velmora::engine
