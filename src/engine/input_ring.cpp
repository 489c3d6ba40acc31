#include "engine/input_ring.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "core/error_numbers.h"

namespace velmora::engine {
namespace {

constexpr int32_t kMinRequest = 1024;
constexpr int32_t kSmallRequestSize = 32768;

bool Failed(std::string& error, int32_t number, const char* description) {
    error = "Buffer Error " + std::to_string(number) + ": \r\n" + description;
    return false;
}

} // namespace

int32_t InputRing::ComputeSize(int32_t channels) {
    const int32_t size = requested >= kMinRequest ? requested : kSmallRequestSize;
    channels = std::max(channels, int32_t{1});
    int32_t k = 0;
    while ((int64_t{2} << k) <= channels) ++k;
    sizeKadrs_ = static_cast<int32_t>(std::nearbyint(std::ldexp(static_cast<double>(size), -k)));
    // Up to twice the request in samples: keep that within a Long.
    sizeKadrs_ = std::min(sizeKadrs_, std::numeric_limits<int32_t>::max() / channels);
    sizeData_ = sizeKadrs_ * channels;
    return sizeKadrs_;
}

bool InputRing::Allocate(int32_t channels, int32_t kadrs, std::string& error) {
    if (channels < 1 || kadrs < 1) return Failed(error, core::kBadBounds, "Subscript out of range");
    try {
        if (allocChannels_ == channels && allocKadrs_ == kadrs) {
            std::fill(buffer_.begin(), buffer_.end(), int16_t{0});
        } else {
            // Built aside first, so a failure leaves the old ring and its data.
            std::vector<int16_t> ring(static_cast<std::size_t>(channels) * static_cast<std::size_t>(kadrs));
            buffer_.swap(ring);
            allocChannels_ = channels;
            allocKadrs_ = kadrs;
        }
    } catch (const std::bad_alloc&) {
        return Failed(error, core::kOutOfMemory, "Out of memory");
    }
    // No worker yet: its start publishes these.
    produced_.store(0, std::memory_order_relaxed);
    consumed_.store(0, std::memory_order_relaxed);
    return true;
}

int16_t* InputRing::KadrAt(uint64_t count) {
    const auto slot = static_cast<std::size_t>(count % static_cast<uint64_t>(allocKadrs_));
    return buffer_.data() + slot * static_cast<std::size_t>(allocChannels_);
}

std::size_t InputRing::Bytes(int32_t kadrs) const {
    return static_cast<std::size_t>(kadrs) * static_cast<std::size_t>(allocChannels_) * sizeof(int16_t);
}

void InputRing::CopyUnread(uint64_t consumed, int32_t count, int16_t* out) {
    const auto slot = static_cast<int32_t>(consumed % static_cast<uint64_t>(allocKadrs_));
    const int32_t tail = std::min(count, allocKadrs_ - slot);
    std::memcpy(out, KadrAt(consumed), Bytes(tail));
    if (count > tail)
        std::memcpy(out + static_cast<std::size_t>(tail) * allocChannels_, buffer_.data(),
                    Bytes(count - tail));
}

int32_t InputRing::CountUnread() const {
    if (allocKadrs_ <= 0) return 0;
    // consumed first: it only grows, so the difference never goes negative.
    const uint64_t consumed = consumed_.load(std::memory_order_acquire);
    const uint64_t produced = produced_.load(std::memory_order_acquire);
    return static_cast<int32_t>(std::min<uint64_t>(produced - consumed, static_cast<uint64_t>(allocKadrs_)));
}

void InputRing::DropUnread() {
    // No worker to order against; the next start publishes it.
    consumed_.store(produced_.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

InputTable InputRing::Unread(const std::vector<int16_t>& selection) {
    polls_.fetch_add(1, std::memory_order_relaxed);
    InputTable table;
    table.channels = static_cast<int32_t>(selection.size());
    table.kadrs = table.channels == allocChannels_ ? CountUnread() : 0;
    table.values.assign(static_cast<std::size_t>(table.channels) * static_cast<std::size_t>(table.kadrs + 1),
                        0);
    std::copy(selection.begin(), selection.end(), table.values.begin());
    if (table.kadrs > 0)
        CopyUnread(consumed_.load(std::memory_order_relaxed), table.kadrs,
                   table.values.data() + table.channels);
    return table;
}

void InputRing::MarkRead(int32_t kadrs) {
    if (kadrs <= 0) return;
    const uint64_t consumed = consumed_.load(std::memory_order_relaxed); // the host's own count
    consumed_.store(consumed + static_cast<uint64_t>(kadrs), std::memory_order_release); // copied first
    workerSignal_.Notify(); // a worker waiting for room goes on
}

int32_t InputRing::Copy(int16_t* buffer, int32_t& count, int32_t& rest) {
    polls_.fetch_add(1, std::memory_order_relaxed);
    const int32_t n = allocChannels_;
    if (n < 1 || buffer == nullptr) {
        count = 0;
        rest = 0;
        return 0;
    }
    const int32_t unread = CountUnread();
    const int32_t want = std::min(std::max(count, 0) / n, unread);
    if (want > 0) {
        const uint64_t consumed = consumed_.load(std::memory_order_relaxed); // the host's own count
        CopyUnread(consumed, want, buffer);
        consumed_.store(consumed + static_cast<uint64_t>(want), std::memory_order_release); // copied first
        workerSignal_.Notify(); // a worker waiting for room goes on
    }
    count = want * n;
    rest = CountUnread() * n;
    return want;
}

template <typename Fill> void InputRing::Append(int32_t kadrs, Fill fill) {
    const int32_t size = allocKadrs_;
    if (kadrs <= 0 || size <= 0) return;
    kadrs = std::min(kadrs, size);
    const uint64_t produced = produced_.load(std::memory_order_relaxed); // the worker's own count
    const auto slot = static_cast<int32_t>(produced % static_cast<uint64_t>(size));
    const int32_t tail = std::min(kadrs, size - slot);
    const auto n = static_cast<std::size_t>(allocChannels_);
    fill(std::size_t{0}, KadrAt(produced), static_cast<std::size_t>(tail) * n);
    if (kadrs > tail)
        fill(static_cast<std::size_t>(tail) * n, buffer_.data(), static_cast<std::size_t>(kadrs - tail) * n);
    // release: the kadrs are in place before the host can count them.
    produced_.store(produced + static_cast<uint64_t>(kadrs), std::memory_order_release);
}

void InputRing::Write(const int16_t* codes, int32_t kadrs) {
    Append(kadrs, [codes](std::size_t from, int16_t* out, std::size_t samples) {
        std::memcpy(out, codes + from, samples * sizeof(int16_t));
    });
}

void InputRing::WriteVolts(const double* volts, const CodeScales& scales, int32_t kadrs, CodeKernel kernel) {
    // Both parts start on a kadr, so each starts at the scales' first position.
    Append(kadrs, [&](std::size_t from, int16_t* out, std::size_t samples) {
        VoltsToCodes(kernel, volts + from, scales, out, samples);
    });
}

} // namespace velmora::engine
