#include "engine/acquisition.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>

#include "device/te16.h"
#include "engine/input_ring.h"

namespace velmora::engine {
namespace {

constexpr std::size_t kWorkerStack = 8192;
// After a receive that failed or brought nothing: a library that fails at
// once is not asked again in a busy loop.
constexpr uint32_t kRetryPauseMs = 25;
// A full ring is re-checked at least this often even without a wake-up.
constexpr uint32_t kRingPollMs = 20;

} // namespace

Acquisition::Acquisition() = default;

Acquisition::~Acquisition() {
    Join();
}

bool Acquisition::Launch(WorkerJob job) {
    ended_.store(EndCause::None, std::memory_order_relaxed);
    endText_.clear();
    firstKadrTime_.store(0.0, std::memory_order_relaxed);
    // release: the tables, the ring and the settings reach the worker (the
    // thread's start orders them too).
    busy_.store(true, std::memory_order_release);
    thread_ = platform::Thread::CreateSuspended([this, job] { Run(job); }, kWorkerStack);
    if (!thread_) return false;
    dev_ = &job.dev;
    ring_ = &job.ring;
    threadRunning_.store(true, std::memory_order_relaxed); // Resume publishes it
    thread_->Resume();
    return true;
}

// The join replaces fixed pauses: the stop wakes the worker's waits and the
// stopped streams end its receive, so it is gone within moments.
void Acquisition::Join() {
    ClearBusy();
    if (!thread_) return;
    ring_->WorkerSignal().Notify(); // ends the worker's pause at once
    dev_->StopStreams();            // a pending receive returns at once
    thread_->Join();
    thread_.reset();
    dev_ = nullptr;
    ring_ = nullptr;
}

// Sleeps up to `ms`, cut short by a stop; false when stopped.
bool Acquisition::Pause(InputRing& ring, uint32_t ms) const {
    return !ring.WorkerSignal().WaitFor(ms, [&] { return !Busy(); });
}

// Waits until `done` holds, woken by every read of the host; false when the
// stop came first. No fixed sleep: a read lets the worker go on at once.
template <typename Done> bool Acquisition::WaitUntil(InputRing& ring, Done done) const {
    while (!done()) {
        if (!Busy()) return false;
        ring.WorkerSignal().WaitFor(kRingPollMs, [&] { return done() || !Busy(); });
    }
    return true;
}

// Receives one whole block, waiting in the library's receive: it returns as
// soon as the block is there, and at once when the stop ends the streams.
// Fewer words only when a failure, a time-out or the stop came first.
Acquisition::Received Acquisition::ReceiveBlock(const WorkerJob& job) {
    Received r;
    while (r.words < blocks.blockWords && Busy()) {
        const int32_t words =
            job.dev.Recv(blocks.raw.data() + r.words, blocks.blockWords - r.words, job.timeout);
        if (words < 0) r.code = words;
        if (words <= 0) break;
        r.words += words;
    }
    return r;
}

// The first kadrs of the run arrived just now: the first was taken their
// duration earlier.
void Acquisition::NoteFirstKadr(const WorkerJob& job, int32_t kadrs) {
    if (firstKadrTime_.load(std::memory_order_relaxed) != 0.0) return;
    const std::chrono::duration<double> now = std::chrono::system_clock::now().time_since_epoch();
    firstKadrTime_.store(now.count() - kadrs / job.rate, std::memory_order_release);
}

void Acquisition::EndByItself(EndCause cause, std::string text) {
    endText_ = std::move(text);
    ended_.store(cause, std::memory_order_release);
}

// Scales a received block to codes and appends its whole kadrs. The worker
// waits for room before writing, so unread kadrs are never overwritten, and
// after a write that filled the ring it waits for the host before receiving
// again. False when the stop came while waiting.
bool Acquisition::TakeBlock(const WorkerJob& job, int32_t words) {
    int32_t kadrs = job.dev.ProcessAdcData(blocks.raw.data(), words, blocks.values.data()) / job.channels;
    if (kadrs <= 0) return true;
    if (job.decimation > 1) kadrs = 1; // the module ran faster: one kadr per block
    InputRing& ring = job.ring;
    const int32_t size = ring.Capacity();
    if (!WaitUntil(ring, [&] { return size - ring.CountUnread() >= kadrs; })) return false;
    NoteFirstKadr(job, kadrs);
    ring.WriteVolts(blocks.values.data(), blocks.scales, kadrs);
    return WaitUntil(ring, [&] { return ring.CountUnread() < size; });
}

// After a stream that stopped inside a kadr, drops the rest of that kadr.
void Acquisition::Realign(const WorkerJob& job) {
    const int32_t lch = job.dev.GetNextExpectedLchNum();
    if (lch > 0) job.dev.Recv(blocks.raw.data(), job.channels - lch, job.timeout);
}

namespace {

using WorkerClock = std::chrono::steady_clock;

// What ends a recording at once; other failures are retried.
EndCause CauseOf(int32_t code) {
    if (code == X502_ERR_CONNECTION_LOST) return EndCause::ConnectionLost;
    if (code == X502_ERR_STREAM_OVERFLOW) return EndCause::Overflow;
    return EndCause::None;
}

std::string SilenceText(int32_t timeoutMs) {
    char text[64];
    std::snprintf(text, sizeof text, "No data from the module for %.3g s", timeoutMs / 1000.0);
    return text;
}

} // namespace

// AcquisitionWorker: runs on the worker thread until the host stops it or
// the recording ends by itself. Until the first data a module with nothing
// ready is waited for however long (a start waiting for its trigger looks
// just the same); afterwards silence longer than the receive time-out ends
// the recording, as do a lost connection and an overflow. Time spent waiting
// for the host to make room in the ring is no silence.
void Acquisition::Run(const WorkerJob& job) {
    bool dataCame = false;
    auto lastData = WorkerClock::now();
    while (Busy()) {
        const Received r = ReceiveBlock(job);
        if (r.words > 0) {
            if (!TakeBlock(job, r.words)) break;
            Realign(job);
            dataCame = true;
            lastData = WorkerClock::now();
        }
        if (const EndCause cause = CauseOf(r.code); cause != EndCause::None) {
            EndByItself(cause, job.dev.ErrorText(r.code));
            break;
        }
        if (dataCame && WorkerClock::now() - lastData >= std::chrono::milliseconds(job.timeout)) {
            EndByItself(EndCause::Silence, SilenceText(job.timeout));
            break;
        }
        if (r.words < blocks.blockWords) Pause(job.ring, kRetryPauseMs);
    }
    ClearBusy();
    job.dev.StopStreams();
    threadRunning_.store(false, std::memory_order_release); // the worker touches nothing after this
}

int32_t ReceiveTimeout(int32_t blockKadrs, float rate) {
    const double ms = std::nearbyint(2.0 * blockKadrs * 1000.0 / rate + 1000.0) + 4000.0;
    return static_cast<int32_t>(std::clamp(ms, 0.0, double{std::numeric_limits<int32_t>::max()}));
}

} // namespace velmora::engine
