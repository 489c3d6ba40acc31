// The file writer of a recording on a thread of its own, behind a queue
// bounded in kadrs, so that a disk that stalls does not hold up the drain of
// the driver: the draining thread queues blocks without ever waiting, and
// learns from a refused block that the writer failed or fell a whole queue
// behind. A stream's reader, whose socket holds what comes meanwhile, may
// wait for room instead. The statistics are kept on the writer's thread, of
// the kadrs written. A writer stuck in its file (a hung disk, a pipe nobody
// reads) is left behind rather than waited for without end. Everything
// shared between the two threads is under one mutex.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kadr_stats.h"
#include "recording_file.h"

namespace e16rec {

class WriterThread {
public:
    // `writer` may be null (statistics only); both stay the caller's and
    // are the thread's alone until Finish returned.
    WriterThread(velmora::hosts::RecordingWriter* writer, KadrStats& stats, std::size_t channels,
                 int64_t capacityKadrs);
    ~WriterThread();
    WriterThread(const WriterThread&) = delete;
    WriterThread& operator=(const WriterThread&) = delete;

    enum class Refused { None, WriterFailed, QueueFull };
    // Queues a copy of `kadrs` whole kadrs; `startTime`, when not empty,
    // reaches the writer before them. A block that would overfill the queue
    // is refused, and so is every block after a refusal.
    Refused Push(const int16_t* codes, int64_t kadrs, const std::string& startTime = {});
    // Waits until a block of `kadrs` fits (an empty queue takes any), the
    // writer failed, or it took nothing for `stall` of the time waited (a
    // process stopped meanwhile counts none of its stop): Push then refuses.
    // False when a stop request came first, before the wait too (`stops`
    // counts them). `waited` gains the time waited: none when it fitted.
    bool AwaitRoom(int64_t kadrs, std::chrono::milliseconds stall, const std::atomic<int>& stops,
                   std::chrono::steady_clock::duration& waited);
    // Queues the note that `kadrs` kadrs from `firstMissing` never came
    // (a stream's gap), between the blocks before and after it.
    Refused PushGap(int64_t firstMissing, int64_t kadrs);
    // Writes what is queued and closes the writer, then stops the thread;
    // true when every write succeeded (the writer's Error says why not).
    bool Finish();
    enum class Finished { Written, Failed, LeftBehind };
    // Finish, unless the writer takes nothing for `stall`, or a stop request
    // comes after the finish began (`stops` counts them): its thread is then
    // left to itself, and this object, the writer and the statistics must
    // stay for the rest of the process, which the caller leaves with _Exit.
    // `waiting` hears once, after a second of nothing taken, how many kadrs
    // are still unwritten. Called again, it waits for a thread left behind.
    Finished Finish(std::chrono::milliseconds stall, const std::atomic<int>& stops,
                    const std::function<void(int64_t unwritten)>& waiting);
    // The most kadrs the queue held at once.
    int64_t Deepest() const;
    // The kadrs given that are not on disk yet: queued, being written, or
    // in the file's own buffer (without a file, queued).
    int64_t Unwritten() const;
    // The kadrs on disk, a flush under way's too (of a writer left behind,
    // stuck in one): the writer and its file must still be there.
    int64_t OnDisk() const;

private:
    struct Block {
        std::vector<int16_t> codes;
        int64_t kadrs = 0;
        std::string startTime;
        int64_t gapFirst = 0, gapKadrs = 0; // a gap, when gapKadrs > 0
    };
    void Run();
    bool Write(Block& block);
    bool FitsLocked(int64_t kadrs) const;
    int64_t UnwrittenLocked() const;

    velmora::hosts::RecordingWriter* writer_;
    KadrStats& stats_;
    std::size_t channels_;
    int64_t capacity_;

    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Block> queue_;
    std::vector<std::vector<int16_t>> spare_; // written blocks' memory, for the next ones
    int64_t queued_ = 0, deepest_ = 0;        // kadrs
    int64_t given_ = 0, onDisk_ = 0;          // kadrs pushed; on disk as the writer last said
    std::condition_variable done_, turned_;
    int64_t turns_ = 0; // of the writer's loop: it is not stuck in its file
    Refused refused_ = Refused::None;
    bool failed_ = false, finishing_ = false, ended_ = false;
    std::thread thread_; // last: starts once the rest is ready
};

} // namespace e16rec
