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
    readKadr_.store(1, std::memory_order_relaxed);
    writeKadr_.store(0, std::memory_order_relaxed);
    drained_.store(true, std::memory_order_relaxed); // no worker yet: its start publishes all this
    return true;
}

// The positions as one consistent view. drained is read first: a worker that
// cleared it had already published the writeKadr read after it.
InputRing::Positions InputRing::Snapshot() const {
    Positions p{};
    p.drained = drained_.load(std::memory_order_seq_cst); // one order with the stores of both sides
    p.write = writeKadr_.load(std::memory_order_acquire); // the kadrs up to it are in place
    p.read = readKadr_.load(std::memory_order_acquire);   // the reader is done with what lies before
    return p;
}

int32_t InputRing::Unread(const Positions& p) const {
    if (p.drained || p.write <= 0 || p.read <= 0 || allocKadrs_ <= 0) return 0;
    if (p.read == p.write) return 1;
    if (p.read < p.write) return p.write - p.read + 1;
    return allocKadrs_ - p.read + 1 + p.write;
}

int16_t* InputRing::KadrAt(int32_t kadr) {
    return buffer_.data() + static_cast<std::size_t>(kadr - 1) * static_cast<std::size_t>(allocChannels_);
}

std::size_t InputRing::Bytes(int32_t kadrs) const {
    return static_cast<std::size_t>(kadrs) * static_cast<std::size_t>(allocChannels_) * sizeof(int16_t);
}

// Copies `count` kadrs from ring kadr `from` on; returns the kadr after them.
int32_t InputRing::CopyOut(int32_t from, int32_t count, int16_t* out) {
    if (count > 0) std::memcpy(out, KadrAt(from), Bytes(count));
    const int32_t next = from + count;
    return next > allocKadrs_ ? 1 : next;
}

// Copies `count` kadrs, wrapping once at the end of the ring when the unread
// part does; returns the new read position.
int32_t InputRing::CopyUnread(const Positions& p, int32_t count, int16_t* out) {
    int32_t read = p.read;
    if (p.write < read) {
        const int32_t tail = std::min(count, allocKadrs_ - read + 1);
        read = CopyOut(read, tail, out);
        out += static_cast<std::size_t>(tail) * static_cast<std::size_t>(allocChannels_);
        count -= tail;
    }
    return CopyOut(read, count, out);
}

// Called once everything up to `seen` is read. A block the worker published
// since then turns drained back to false, so no unread kadr stays hidden; the
// store-then-load pattern needs seq_cst on both sides.
void InputRing::MarkDrained(int32_t seen) {
    drained_.store(true, std::memory_order_seq_cst);
    if (writeKadr_.load(std::memory_order_seq_cst) != seen) drained_.store(false, std::memory_order_seq_cst);
}

int32_t InputRing::CountUnread() const {
    return Unread(Snapshot());
}

void InputRing::DropUnread() {
    // No worker to order against; the next start publishes it.
    drained_.store(true, std::memory_order_seq_cst);
}

InputTable InputRing::Take(const std::vector<int16_t>& selection) {
    InputTable table;
    const Positions p = Snapshot();
    table.channels = static_cast<int32_t>(selection.size());
    table.kadrs = table.channels == allocChannels_ ? Unread(p) : 0;
    table.values.assign(static_cast<std::size_t>(table.channels) * static_cast<std::size_t>(table.kadrs + 1),
                        0);
    std::copy(selection.begin(), selection.end(), table.values.begin());
    if (table.kadrs == 0) return table;
    const int32_t read = CopyUnread(p, table.kadrs, table.values.data() + table.channels);
    readKadr_.store(read, std::memory_order_release); // the kadrs are out before the worker reuses them
    MarkDrained(p.write);
    workerSignal_.Notify(); // a worker waiting for room goes on
    return table;
}

int32_t InputRing::Copy(int16_t* buffer, int32_t& count, int32_t& rest) {
    const int32_t n = allocChannels_;
    if (n < 1 || buffer == nullptr) {
        count = 0;
        rest = 0;
        return 0;
    }
    const Positions p = Snapshot();
    const int32_t unread = Unread(p);
    const int32_t want = std::min(std::max(count, 0) / n, unread);
    if (want > 0) {
        readKadr_.store(CopyUnread(p, want, buffer), std::memory_order_release); // copied first
        if (want >= unread) MarkDrained(p.write);
        workerSignal_.Notify(); // a worker waiting for room goes on
    }
    count = want * n;
    rest = CountUnread() * n;
    return want;
}

int32_t InputRing::Write(const int16_t* codes, int32_t kadrs, int32_t next) {
    const int32_t size = allocKadrs_;
    if (kadrs <= 0 || size <= 0) return next;
    kadrs = std::min(kadrs, size);
    if (next < 1 || next > size) next = 1;
    int32_t last = 0;
    if (kadrs <= size - next + 1) {
        std::memcpy(KadrAt(next), codes, Bytes(kadrs));
        last = next + kadrs - 1;
        next = last == size ? 1 : last + 1;
    } else {
        const int32_t first = size - next + 1;
        std::memcpy(KadrAt(next), codes, Bytes(first));
        std::memcpy(KadrAt(1), codes + static_cast<std::size_t>(first) * allocChannels_,
                    Bytes(kadrs - first));
        last = kadrs - first;
        next = last + 1;
    }
    // seq_cst (a release and more): the data are in place before the position
    // moves, and the reader's drained check needs one order of this store and its own.
    writeKadr_.store(last, std::memory_order_seq_cst);
    drained_.store(false, std::memory_order_seq_cst);
    return next;
}

} // namespace velmora::engine
