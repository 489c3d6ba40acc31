// Acquisition: the recording's worker thread, its stop signal, the block
// tables it works with and how the recording ended. The host thread launches
// and joins the worker; the worker receives blocks, scales them to codes and
// writes them into the input ring, and ends the recording by itself when the
// module is lost, overflows or falls silent. Shared between the two threads:
// busy, the running and ended flags and the start time (atomics, see each);
// the tables and the end's text belong to the worker while it runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/volts_to_codes.h"
#include "platform/thread.h"

namespace velmora::device {
class TE16;
}

namespace velmora::engine {

class InputRing;

// The stream block tables, built at each start.
struct BlockTables {
    int32_t blockKadrs = 0, blockWords = 0;
    std::vector<uint32_t> raw;
    std::vector<double> values; // volts, turned into codes straight in the ring
    CodeScales scales;          // codes per volt of each position in a kadr
};

// What one worker run uses; fixed for its whole run.
struct WorkerJob {
    device::TE16& dev; // outlives the worker: released only after a join
    InputRing& ring;
    int32_t channels;   // per kadr
    int32_t decimation; // > 1: the module runs faster, one kadr per block
    int32_t timeout;    // of a receive, ms; once data have come, silence this long ends the recording
    double rate;        // kadrs per second
};

// Why the worker ended a recording by itself.
enum class EndCause { None, ConnectionLost, Overflow, Silence };

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
    // Clears busy and waits for the worker to end (stopping the streams so
    // that a pending receive returns), then releases its handle. Nothing
    // when none runs.
    void Join();
    bool HasWorker() const { return thread_ != nullptr; }
    bool WorkerRunning() const { return threadRunning_.load(std::memory_order_acquire); }

    // How the last worker ended: None while it runs or after the host's stop.
    // The text is the library's, or ours for silence; read it only once the
    // cause is not None.
    EndCause Ended() const { return ended_.load(std::memory_order_acquire); }
    const std::string& EndText() const { return endText_; }
    // When the run's first kadr was taken, seconds since 1970 UTC; 0 before it.
    double FirstKadrTime() const { return firstKadrTime_.load(std::memory_order_acquire); }

private:
    struct Received {
        int32_t words = 0;
        int32_t code = 0; // the library's failure, 0 when none
    };

    void Run(const WorkerJob& job);
    bool Pause(InputRing& ring, uint32_t ms) const;
    template <typename Done> bool WaitUntil(InputRing& ring, Done done) const;
    Received ReceiveBlock(const WorkerJob& job);
    void NoteFirstKadr(const WorkerJob& job, int32_t kadrs);
    void EndByItself(EndCause cause, std::string text);
    bool TakeBlock(const WorkerJob& job, int32_t words);
    void Realign(const WorkerJob& job);

    // The stop signal: the host sets it false, the worker reads it at every
    // wait and clears it when it ends.
    std::atomic<bool> busy_{false};
    std::unique_ptr<platform::Thread> thread_; // host thread only
    std::atomic<bool> threadRunning_{false};   // the worker clears it as its last act
    // The worker writes endText_ and then stores ended_ (release); the host
    // loads ended_ (acquire) before it reads the text. Reset at each launch.
    std::atomic<EndCause> ended_{EndCause::None};
    std::string endText_;
    std::atomic<double> firstKadrTime_{0.0};
    // Set with the thread, cleared by the join (host thread only).
    device::TE16* dev_ = nullptr;
    InputRing* ring_ = nullptr;
};

// The worker's receive time-out in ms: twice a block's duration plus 5 s.
int32_t ReceiveTimeout(int32_t blockKadrs, float rate);

} // namespace velmora::engine
