#include "writer_thread.h"

#include <algorithm>
#include <chrono>

namespace e16rec {
namespace {

// How often an idle writer looks whether its kadrs waited long enough, and
// a finish whether the writer took more.
constexpr auto kIdleLook = std::chrono::milliseconds(100);
// Nothing taken for this long is said while finishing.
constexpr auto kWaitNotice = std::chrono::seconds(1);

} // namespace

WriterThread::WriterThread(velmora::hosts::RecordingWriter* writer, KadrStats& stats, std::size_t channels,
                           int64_t capacityKadrs)
    : writer_(writer), stats_(stats), channels_(channels), capacity_(std::max<int64_t>(capacityKadrs, 1)),
      thread_([this] { Run(); }) {}

WriterThread::~WriterThread() {
    if (thread_.joinable()) Finish();
}

WriterThread::Refused WriterThread::Push(const int16_t* codes, int64_t kadrs, const std::string& startTime) {
    std::vector<int16_t> memory;
    {
        std::lock_guard lock(mutex_);
        if (refused_ == Refused::None && failed_) refused_ = Refused::WriterFailed;
        if (refused_ == Refused::None && !FitsLocked(kadrs)) refused_ = Refused::QueueFull;
        if (refused_ != Refused::None) return refused_;
        if (!spare_.empty()) {
            memory = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    // Copied outside the lock, so the writer never waits for it.
    memory.assign(codes, codes + static_cast<std::size_t>(kadrs) * channels_);
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({std::move(memory), kadrs, startTime});
        queued_ += kadrs;
        given_ += kadrs;
        deepest_ = std::max(deepest_, queued_);
    }
    ready_.notify_one();
    return Refused::None;
}

bool WriterThread::AwaitRoom(int64_t kadrs, std::chrono::milliseconds stall, const std::atomic<int>& stops,
                             std::chrono::steady_clock::duration& waited) {
    std::unique_lock lock(mutex_);
    int64_t turns = turns_;
    std::chrono::steady_clock::duration still{};
    while (refused_ == Refused::None && !failed_ && !FitsLocked(kadrs) && still < stall) {
        // Any stop, one that came while the block was taken too.
        if (stops.load() != 0) return false;
        const auto asked = std::chrono::steady_clock::now();
        turned_.wait_for(lock, kIdleLook);
        const auto looked = std::chrono::steady_clock::now() - asked;
        waited += looked;
        if (turns_ != turns) {
            turns = turns_;
            still = {};
        } else {
            still += std::min<std::chrono::steady_clock::duration>(looked, kIdleLook);
        }
    }
    return true;
}

WriterThread::Refused WriterThread::PushGap(int64_t firstMissing, int64_t kadrs) {
    {
        std::lock_guard lock(mutex_);
        if (refused_ == Refused::None && failed_) refused_ = Refused::WriterFailed;
        if (refused_ != Refused::None) return refused_;
        Block gap;
        gap.gapFirst = firstMissing;
        gap.gapKadrs = kadrs;
        queue_.push_back(std::move(gap));
    }
    ready_.notify_one();
    return Refused::None;
}

bool WriterThread::Finish() {
    {
        std::lock_guard lock(mutex_);
        finishing_ = true;
    }
    ready_.notify_one();
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    return !failed_;
}

WriterThread::Finished WriterThread::Finish(std::chrono::milliseconds stall, const std::atomic<int>& stops,
                                            const std::function<void(int64_t)>& waiting) {
    int stopsSeen = stops.load();
    std::unique_lock lock(mutex_);
    finishing_ = true;
    ready_.notify_one();
    int64_t turns = turns_;
    auto since = std::chrono::steady_clock::now();
    bool said = false;
    while (!done_.wait_for(lock, kIdleLook, [this] { return ended_; })) {
        const auto now = std::chrono::steady_clock::now();
        // A stop request leaves a file that takes nothing, as said once it
        // has taken nothing for kWaitNotice; one that keeps taking is finished.
        if (turns_ != turns) {
            turns = turns_;
            since = now;
            stopsSeen = stops.load();
            continue;
        }
        const bool waits = now - since >= kWaitNotice;
        if (waits && !said) {
            said = true;
            waiting(UnwrittenLocked());
        }
        if (now - since >= stall || (waits && stops.load() != stopsSeen)) {
            if (thread_.joinable()) thread_.detach();
            return Finished::LeftBehind;
        }
    }
    const bool failed = failed_;
    lock.unlock();
    if (thread_.joinable()) thread_.join();
    return failed ? Finished::Failed : Finished::Written;
}

int64_t WriterThread::Deepest() const {
    std::lock_guard lock(mutex_);
    return deepest_;
}

int64_t WriterThread::Unwritten() const {
    std::lock_guard lock(mutex_);
    return UnwrittenLocked();
}

int64_t WriterThread::OnDisk() const {
    // The writer's own count moves during a flush, which a writer stuck in
    // one never ends.
    return writer_ != nullptr ? static_cast<int64_t>(writer_->OnDisk()) : 0;
}

// An empty queue takes any block, however long.
bool WriterThread::FitsLocked(int64_t kadrs) const {
    return queued_ == 0 || queued_ + kadrs <= capacity_;
}

int64_t WriterThread::UnwrittenLocked() const {
    return writer_ != nullptr ? given_ - onDisk_ : queued_;
}

void WriterThread::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        ready_.wait_for(lock, kIdleLook, [this] { return !queue_.empty() || finishing_; });
        if (queue_.empty() && finishing_) {
            // The last rows reach the file here, where a finish watches
            // for a file that takes nothing, not on the finishing thread.
            if (writer_ != nullptr) {
                lock.unlock();
                const bool closed = writer_->Close();
                lock.lock();
                failed_ = failed_ || !closed;
                onDisk_ = static_cast<int64_t>(writer_->OnDisk());
            }
            ended_ = true;
            done_.notify_all();
            return;
        }
        bool ok = !failed_;
        if (!queue_.empty()) {
            Block block = std::move(queue_.front());
            queue_.pop_front();
            queued_ -= block.kadrs;
            lock.unlock();
            // After a failure the rest is only taken off the queue.
            if (ok) ok = Write(block);
            lock.lock();
            // A gap holds no memory: kept, it would be taken by the next
            // block in place of a buffer, which would then be kept as well.
            if (block.gapKadrs == 0) spare_.push_back(std::move(block.codes));
        } else if (ok && writer_ != nullptr) {
            lock.unlock();
            ok = writer_->FlushIfOlder();
            lock.lock();
        }
        ++turns_;
        failed_ = !ok;
        if (writer_ != nullptr) onDisk_ = static_cast<int64_t>(writer_->OnDisk());
        turned_.notify_one();
    }
}

bool WriterThread::Write(Block& block) {
    if (block.gapKadrs > 0) {
        stats_.Gap();
        return writer_ == nullptr || writer_->Gap(block.gapFirst, block.gapKadrs);
    }
    if (writer_ == nullptr) {
        stats_.Add(block.codes.data(), static_cast<int32_t>(block.kadrs));
        return true;
    }
    // A CSV file whose rows began goes on without the time: no failure.
    if (!block.startTime.empty() && !writer_->SetStartTime(block.startTime) && !writer_->Error().empty())
        return false;
    if (!writer_->Write(block.codes.data(), static_cast<std::size_t>(block.kadrs))) return false;
    stats_.Add(block.codes.data(), static_cast<int32_t>(block.kadrs));
    return true;
}

} // namespace e16rec
