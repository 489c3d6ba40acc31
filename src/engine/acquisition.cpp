#include "engine/acquisition.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

#include "device/te16.h"
#include "engine/input_ring.h"

namespace velmora::engine {
namespace {

constexpr std::size_t kWorkerStack = 8192;
// After a receive that failed: a library that fails at once is not asked
// again in a busy loop.
constexpr uint32_t kRetryPauseMs = 25;
// A full ring is re-checked at least this often even without a wake-up.
constexpr uint32_t kRingPollMs = 20;
// Between the empty receives of a start still waiting for its first data
// (its trigger, say): the wait costs next to nothing, a stop still ends it
// at once, and the first kadrs come this much later at most.
constexpr uint32_t kWaitingPauseMs = 20;

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
    ring_ = &job.ring;
    thread_->Resume();
    return true;
}

// The join replaces fixed pauses: the stop wakes the worker's waits, and
// its receive lasts a few milliseconds at most whether or not the library
// ends it early, so it is gone within moments.
void Acquisition::Join() {
    ClearBusy();
    if (!thread_) return;
    ring_->WorkerSignal().Notify(); // ends the worker's pause at once
    stopSignal_.Notify();
    thread_->Join();
    thread_.reset();
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

// The first kadrs of the run arrived just now: the newest word the module
// converted, `received` of them or more still waiting (a worker held up at
// the start finds a backlog), was taken a moment ago. The first frame began
// that word's frames and positions earlier: frames at the module's frame
// rate (with decimation faster than the kadrs kept), positions at its
// acquisition frequency, which at a slow rate of many channels is most of
// a kadr.
void Acquisition::NoteFirstKadr(const WorkerJob& job, int32_t received) {
    if (firstKadrTime_.load(std::memory_order_relaxed) != 0.0) return;
    const int64_t newest = int64_t{received} + job.dev.RecvReadyCount() - 1;
    const std::chrono::duration<double> now = std::chrono::system_clock::now().time_since_epoch();
    const double frameRate = job.rate * std::max(job.decimation, 1);
    const double since = static_cast<double>(newest / job.channels) / frameRate +
                         static_cast<double>(newest % job.channels) / job.acqFreq;
    firstKadrTime_.store(now.count() - since, std::memory_order_release);
}

void Acquisition::EndByItself(EndCause cause, std::string text) {
    endText_ = std::move(text);
    ended_.store(cause, std::memory_order_release);
}

// Of `kadrs` converted values, the ones the recording keeps, moved to the
// front: all of them, or with decimation the first of every `decimation`
// kadrs counted from the start, whatever pass they came in.
int32_t Acquisition::KeepKadrs(const WorkerJob& job, int32_t kadrs, Stream& stream) {
    if (job.decimation <= 1) return kadrs;
    int32_t kept = 0;
    for (int32_t k = 0; k < kadrs; ++k) {
        if (stream.skip > 0) {
            --stream.skip;
            continue;
        }
        stream.skip = job.decimation - 1;
        double* values = blocks.values.data();
        std::copy_n(values + std::size_t(k) * job.channels, job.channels,
                    values + std::size_t(kept++) * job.channels);
    }
    return kept;
}

// Scales the whole kadrs of raw[0, words) to codes and appends them; the
// words of a partial kadr go to the front for the next pass. The worker
// writes only into free slots, so unread kadrs are never overwritten: a
// full ring waits for the host, before the rest of the pass and before the
// next receive. False when the stop came while waiting, or when the words
// could not be converted: kadrs dropped unsaid would shift every later one's
// time, so that ends the recording.
bool Acquisition::HandOver(const WorkerJob& job, int32_t words, Stream& stream) {
    const int32_t whole = words - words % job.channels;
    stream.carried = words - whole;
    uint32_t* raw = blocks.raw.data();
    const int32_t converted = whole > 0 ? job.dev.ProcessAdcData(raw, whole, blocks.values.data()) : 0;
    if (converted < 0) {
        EndByItself(EndCause::Failing,
                    job.dev.ErrorText(converted) + "; the module's data could not be converted");
        return false;
    }
    std::copy_n(raw + whole, stream.carried, raw);
    const int32_t frames = converted / job.channels;
    const int32_t kadrs = KeepKadrs(job, frames, stream);
    if (kadrs <= 0) return true;
    NoteFirstKadr(job, words);
    InputRing& ring = job.ring;
    const int32_t size = ring.Capacity();
    const auto notFull = [&] { return ring.CountUnread() < size; };
    for (int32_t done = 0; done < kadrs;) {
        if (!WaitUntil(ring, notFull)) return false;
        const int32_t n = std::min(kadrs - done, size - ring.CountUnread());
        ring.WriteVolts(blocks.values.data() + std::size_t(done) * job.channels, blocks.scales, n);
        done += n;
    }
    return WaitUntil(ring, notFull);
}

namespace {

using WorkerClock = std::chrono::steady_clock;

// What ends a recording at once; other failures are retried.
EndCause CauseOf(int32_t code) {
    if (code == X502_ERR_CONNECTION_LOST) return EndCause::ConnectionLost;
    if (code == X502_ERR_STREAM_OVERFLOW) return EndCause::Overflow;
    return EndCause::None;
}

// "5.08 s", "2005 s".
std::string SecondsText(int32_t ms) {
    const double seconds = ms / 1000.0;
    char text[32];
    std::snprintf(text, sizeof text, seconds < 1000 ? "%.3g s" : "%.0f s", seconds);
    return text;
}

} // namespace

std::chrono::milliseconds HandOverPace::Interval(uint64_t polls, Clock::time_point now) {
    const auto window = now - since_;
    if (window < kWindow) return interval_;
    const uint64_t seen = polls - polls_;
    const auto period = seen == 0 ? window : window / static_cast<int64_t>(seen);
    interval_ =
        std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(period),
                   std::chrono::milliseconds(kHandOverMs), std::chrono::milliseconds(kSlowestHandOverMs));
    polls_ = polls;
    since_ = now;
    return interval_;
}

// After a hand-over, for a host that looks seldom: the rest of its interval
// from the pass's receive on, which a stop cuts short. The next receive then
// finds the kadrs waiting and returns at once, so a pass wakes the worker
// once. Never after a receive that filled the block: more is waiting.
void Acquisition::PaceHandOver(const WorkerJob& job, HandOverPace& pace, WorkerClock::time_point asked,
                               bool filled) {
    const auto now = WorkerClock::now();
    const auto interval = pace.Interval(job.ring.Polls(), now);
    if (filled || interval <= std::chrono::milliseconds(kHandOverMs)) return;
    const auto left = asked + interval - now;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(left).count();
    if (ms > 0) stopSignal_.WaitFor(static_cast<uint32_t>(ms), [&] { return !Busy(); });
}

// AcquisitionWorker: runs on the worker thread until the host stops it or
// the recording ends by itself. Each pass receives for at most kHandOverMs
// and hands over the whole kadrs that came, so a host sees data a few
// milliseconds old at any rate; for a host that polls less often the worker
// pauses after the hand-over, up to kSlowestHandOverMs in all, and wakes
// once a pass; a kadr cut between two passes is finished
// by the next one, and one cut by the stop is dropped. Until the first data
// a module with nothing ready is waited for however long (a start waiting
// for its trigger looks just the same); afterwards silence longer than the
// job's time-out ends the recording, as do a lost connection and an
// overflow. Time spent waiting for the host to make room in the ring, or
// with the whole process stopped, is no silence. Receives that fail for
// the whole time-out end it too, before the first data as well: a trigger
// makes a module silent, never failing.
void Acquisition::Run(const WorkerJob& job) {
    Stream stream;
    bool dataCame = false;
    auto lastData = WorkerClock::now();
    auto lastRead = lastData; // a receive that did not fail
    HandOverPace pace(lastData);
    while (Busy()) {
        const auto asked = WorkerClock::now();
        const int32_t room = blocks.blockWords - stream.carried;
        const int32_t words = job.dev.Recv(blocks.raw.data() + stream.carried, room, kHandOverMs);
        if (words > 0) {
            if (!HandOver(job, stream.carried + words, stream)) break;
            dataCame = true;
            lastData = WorkerClock::now();
            PaceHandOver(job, pace, asked, words == room);
        }
        if (const EndCause cause = CauseOf(words); cause != EndCause::None) {
            EndByItself(cause, job.dev.ErrorText(words));
            break;
        }
        // Silence is an empty receive asked past the time-out: a process
        // stopped or suspended since the last data (SIGSTOP, a sleeping
        // machine) finds the module's kadrs waiting at the next receive.
        const auto timeout = std::chrono::milliseconds(job.timeout);
        if (dataCame && words == 0 && asked - lastData >= timeout) {
            EndByItself(EndCause::Silence, "No data from the module for " + SecondsText(job.timeout));
            break;
        }
        // A hand-over that waited for the host's room is no failing read either.
        if (words >= 0) lastRead = std::max(asked, lastData);
        if (words < 0 && asked - lastRead >= timeout) {
            EndByItself(EndCause::Failing,
                        job.dev.ErrorText(words) + "; every read failed for " + SecondsText(job.timeout));
            break;
        }
        // A failed receive is retried after a pause; an empty one too before
        // the first data, and after the hand-over time when it came back at
        // once (a library that does not wait).
        if (words < 0)
            Pause(job.ring, kRetryPauseMs);
        else if (words == 0 && !dataCame)
            Pause(job.ring, kWaitingPauseMs);
        else if (words == 0 && WorkerClock::now() - asked < std::chrono::milliseconds(kHandOverMs))
            Pause(job.ring, kHandOverMs);
    }
    ClearBusy();
    job.dev.StopStreams();
}

int32_t ReceiveTimeout(float rate, int32_t decimation) {
    const double kadrMs = 1000.0 / (static_cast<double>(rate) * std::max(decimation, 1));
    const double ms = std::nearbyint(2.0 * kadrMs + 1000.0) + 4000.0;
    return static_cast<int32_t>(std::clamp(ms, 0.0, double{std::numeric_limits<int32_t>::max()}));
}

} // namespace velmora::engine
