// InputRing: the ring of whole kadrs between the acquisition worker (the one
// writer) and the host (the one reader), lock-free. Each side counts the
// kadrs it has passed; their difference is what is unread, so a full ring
// and an empty one never look alike. Thread contract: Write runs on the
// worker only; the sizing, Allocate and DropUnread run on the host while no
// worker runs; Unread, MarkRead, Copy and CountUnread run on the host at any time
// (CountUnread on the worker too).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/volts_to_codes.h"
#include "platform/wait_signal.h"

namespace velmora::engine {

// Everything unread, as the host's two-dimensional array (0..n-1, 0..U):
// column 0 holds the channel list, columns 1..U the kadrs; element (i, k) at
// i + k * n.
struct InputTable {
    int32_t channels = 0;
    int32_t kadrs = 0;           // U
    std::vector<int16_t> values; // channels * (kadrs + 1)
};

class InputRing {
public:
    // Sizing: the request in samples, and the kadrs it gives for `channels`
    // (a power-of-two share of the request; a request below 1024 means 32768).
    int32_t requested = 0;
    int32_t ComputeSize(int32_t channels);
    int32_t SizeKadrs() const { return sizeKadrs_; }
    int32_t SizeData() const { return sizeData_; }

    // A ring of `kadrs` kadrs of `channels`, emptied. On failure the old
    // ring and its data stay, and `error` says why.
    bool Allocate(int32_t channels, int32_t kadrs, std::string& error);
    int32_t Capacity() const { return allocKadrs_; }
    int32_t Width() const { return allocChannels_; }

    // Host side.
    int32_t CountUnread() const;
    // Kadrs written since the ring was allocated (at each start).
    uint64_t Produced() const { return produced_.load(std::memory_order_acquire); }
    // Calls of Unread and Copy so far, the empty ones too: how often the host
    // looks, which paces the worker's hand-overs.
    uint64_t Polls() const { return polls_.load(std::memory_order_relaxed); }
    // Not while a worker runs: the kadrs left unread are given up.
    void DropUnread();
    // Everything unread, headed by `selection`; the kadrs stay unread until
    // MarkRead, so that a table the host could not be given loses nothing.
    InputTable Unread(const std::vector<int16_t>& selection);
    void MarkRead(int32_t kadrs);
    // GetData: copies whole kadrs into buffer (capacity `count` samples); sets
    // count to the samples written and rest to the samples still unread;
    // returns the kadrs written.
    int32_t Copy(int16_t* buffer, int32_t& count, int32_t& rest);

    // Worker side: appends `kadrs` kadrs (at most the capacity) and publishes
    // them. The caller makes sure there is room. Write copies codes;
    // WriteVolts turns volts into codes straight in the ring's slots.
    void Write(const int16_t* codes, int32_t kadrs);
    void WriteVolts(const double* volts, const CodeScales& scales, int32_t kadrs,
                    CodeKernel kernel = BestKernel());

    // Wakes the worker's waits: every read that frees room notifies it, and
    // so does a stop.
    platform::WaitSignal& WorkerSignal() { return workerSignal_; }

private:
    int16_t* KadrAt(uint64_t count);
    std::size_t Bytes(int32_t kadrs) const;
    // Copies `count` kadrs from the one after `consumed` on, wrapping once.
    void CopyUnread(uint64_t consumed, int32_t count, int16_t* out);
    // Fills the next `kadrs` slots (wrapping once) from `fill(sample offset,
    // destination, samples)`, then publishes them.
    template <typename Fill> void Append(int32_t kadrs, Fill fill);

    int32_t sizeKadrs_ = 0;
    int32_t sizeData_ = 0;
    // Change only while no worker runs.
    std::vector<int16_t> buffer_; // kadr k (1-based) at (k - 1) * allocChannels_
    int32_t allocChannels_ = 0, allocKadrs_ = 0;

    // Kadrs written since the ring was allocated: the worker stores it after
    // the data (release), the host loads it before reading them (acquire).
    std::atomic<uint64_t> produced_{0};
    // Kadrs read: the host stores it after copying them out (release), the
    // worker loads it before writing over them (acquire).
    std::atomic<uint64_t> consumed_{0};
    std::atomic<uint64_t> polls_{0};
    platform::WaitSignal workerSignal_;
};

} // namespace velmora::engine
