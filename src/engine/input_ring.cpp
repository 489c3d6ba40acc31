#include "engine/input_ring.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "driver/driver_state.h"

namespace velmora::engine {
namespace {

constexpr int32_t kMinRequest = 1024;
constexpr int32_t kSmallRequestSize = 32768;
// The runtime's numbers for a failed allocation and for empty bounds.
constexpr int32_t kOutOfMemory = 7;
constexpr int32_t kBadBounds = 9;

// The positions as one consistent view. drained is read first: a worker that
// cleared it had already published the writeKadr read after it.
struct Positions {
    bool drained;
    int32_t read;
    int32_t write;
};

Positions Snapshot(const DriverState& s) {
    Positions p{};
    p.drained = s.drained.load(std::memory_order_seq_cst); // one order with the stores of both sides
    p.write = s.writeKadr.load(std::memory_order_acquire); // the kadrs up to it are in place
    p.read = s.readKadr.load(std::memory_order_acquire);   // the reader is done with what lies before
    return p;
}

// A ring laid out for another selection (changed after the last recording)
// holds nothing the host can read.
bool RingMatchesSelection(const DriverState& s) {
    return s.allocKadrs > 0 && s.allocChannels == s.inputCountChannels;
}

int32_t Unread(const DriverState& s, const Positions& p) {
    if (p.drained || p.write <= 0 || p.read <= 0 || !RingMatchesSelection(s)) return 0;
    if (p.read == p.write) return 1;
    if (p.read < p.write) return p.write - p.read + 1;
    return s.allocKadrs - p.read + 1 + p.write;
}

int16_t* KadrAt(DriverState& s, int32_t kadr) {
    return s.inputBuffer.data() +
           static_cast<std::size_t>(kadr - 1) * static_cast<std::size_t>(s.allocChannels);
}

std::size_t Bytes(const DriverState& s, int32_t kadrs) {
    return static_cast<std::size_t>(kadrs) * static_cast<std::size_t>(s.allocChannels) * sizeof(int16_t);
}

// Copies `count` kadrs from ring kadr `from` on; returns the kadr after them.
int32_t CopyOut(DriverState& s, int32_t from, int32_t count, int16_t* out) {
    if (count > 0) std::memcpy(out, KadrAt(s, from), Bytes(s, count));
    const int32_t next = from + count;
    return next > s.allocKadrs ? 1 : next;
}

// Copies `count` kadrs, wrapping once at the end of the ring when the unread
// part does; returns the new read position.
int32_t CopyUnread(DriverState& s, const Positions& p, int32_t count, int16_t* out) {
    int32_t read = p.read;
    if (p.write < read) {
        const int32_t tail = std::min(count, s.allocKadrs - read + 1);
        read = CopyOut(s, read, tail, out);
        out += static_cast<std::size_t>(tail) * static_cast<std::size_t>(s.allocChannels);
        count -= tail;
    }
    return CopyOut(s, read, count, out);
}

// Called once everything up to `seen` is read. A block the worker published
// since then turns drained back to false, so no unread kadr stays hidden; the
// store-then-load pattern needs seq_cst on both sides.
void MarkDrained(DriverState& s, int32_t seen) {
    s.drained.store(true, std::memory_order_seq_cst);
    if (s.writeKadr.load(std::memory_order_seq_cst) != seen)
        s.drained.store(false, std::memory_order_seq_cst);
}

bool Failed(DriverState& s, int32_t number, const char* description) {
    s.lastError = "Buffer Error " + std::to_string(number) + ": \r\n" + description;
    return false;
}

} // namespace

int32_t ComputeInputSize(DriverState& s) {
    const int32_t size = s.inputSizeRequested >= kMinRequest ? s.inputSizeRequested : kSmallRequestSize;
    if (s.inputCountChannels < 1) {
        s.inputCountChannels = 1;
    } else {
        int32_t k = 0;
        while ((int64_t{2} << k) <= s.inputCountChannels) ++k;
        s.inputSizeKadrs = static_cast<int32_t>(std::nearbyint(std::ldexp(static_cast<double>(size), -k)));
    }
    // Up to twice the request in samples: keep that within a Long.
    const int32_t most = std::numeric_limits<int32_t>::max() / s.inputCountChannels;
    s.inputSizeKadrs = std::min(s.inputSizeKadrs, most);
    s.inputSizeData = s.inputSizeKadrs * s.inputCountChannels;
    return s.inputSizeKadrs;
}

bool AllocateInput(DriverState& s) {
    const int32_t n = s.inputCountChannels;
    const int32_t kadrs = s.inputSizeKadrs;
    if (n < 1 || kadrs < 1) return Failed(s, kBadBounds, "Subscript out of range");
    try {
        if (s.allocChannels == n && s.allocKadrs == kadrs) {
            std::fill(s.inputBuffer.begin(), s.inputBuffer.end(), int16_t{0});
        } else {
            // Built aside first, so a failure leaves the old ring and its data.
            std::vector<int16_t> ring(static_cast<std::size_t>(n) * static_cast<std::size_t>(kadrs));
            s.inputBuffer.swap(ring);
            s.allocChannels = n;
            s.allocKadrs = kadrs;
        }
    } catch (const std::bad_alloc&) {
        return Failed(s, kOutOfMemory, "Out of memory");
    }
    s.inputCountKadrs.store(0, std::memory_order_relaxed);
    s.readKadr.store(1, std::memory_order_relaxed);
    s.writeKadr.store(0, std::memory_order_relaxed);
    s.drained.store(true, std::memory_order_relaxed); // no worker yet: its start publishes all this
    return true;
}

bool PrepareInput(DriverState& s) {
    ComputeInputSize(s);
    return AllocateInput(s);
}

int32_t CountUnreadKadrs(DriverState& s) {
    const int32_t unread = Unread(s, Snapshot(s));
    s.inputCountKadrs.store(unread, std::memory_order_release); // after any copy that lowered it
    return unread;
}

void DropUnread(DriverState& s) {
    // Not busy: no worker to order against; the next start publishes both.
    s.drained.store(true, std::memory_order_seq_cst);
    s.inputCountKadrs.store(0, std::memory_order_release);
}

InputTable TakeInputData(DriverState& s) {
    InputTable table;
    const Positions p = Snapshot(s);
    table.channels = std::max<int32_t>(s.inputCountChannels, 0);
    table.kadrs = Unread(s, p);
    table.values.assign(static_cast<std::size_t>(table.channels) * static_cast<std::size_t>(table.kadrs + 1),
                        0);
    const std::size_t header = std::min(s.inputChannels.size(), static_cast<std::size_t>(table.channels));
    std::copy_n(s.inputChannels.begin(), header, table.values.begin());
    if (table.kadrs == 0) return table;
    const int32_t read = CopyUnread(s, p, table.kadrs, table.values.data() + table.channels);
    s.readKadr.store(read, std::memory_order_release); // the kadrs are out before the worker reuses them
    MarkDrained(s, p.write);
    s.inputCountKadrs.store(0, std::memory_order_release); // published after the copy, like readKadr
    s.workerSignal.Notify();                               // a worker waiting for room goes on
    return table;
}

int32_t CopyInputData(DriverState& s, int16_t* buffer, int32_t& count, int32_t& rest) {
    const int32_t n = s.inputCountChannels;
    if (n < 1 || buffer == nullptr) {
        count = 0;
        rest = 0;
        return 0;
    }
    const Positions p = Snapshot(s);
    const int32_t unread = Unread(s, p);
    const int32_t want = std::min(std::max(count, 0) / n, unread);
    if (want > 0) {
        s.readKadr.store(CopyUnread(s, p, want, buffer), std::memory_order_release); // copied first
        if (want >= unread) MarkDrained(s, p.write);
        s.workerSignal.Notify(); // a worker waiting for room goes on
    }
    count = want * n;
    rest = CountUnreadKadrs(s) * n;
    return want;
}

int32_t WriteKadrs(DriverState& s, const int16_t* codes, int32_t kadrs, int32_t next) {
    const int32_t size = s.allocKadrs;
    if (kadrs <= 0 || size <= 0) return next;
    kadrs = std::min(kadrs, size);
    if (next < 1 || next > size) next = 1;
    int32_t last = 0;
    if (kadrs <= size - next + 1) {
        std::memcpy(KadrAt(s, next), codes, Bytes(s, kadrs));
        last = next + kadrs - 1;
        next = last == size ? 1 : last + 1;
    } else {
        const int32_t first = size - next + 1;
        std::memcpy(KadrAt(s, next), codes, Bytes(s, first));
        std::memcpy(KadrAt(s, 1), codes + static_cast<std::size_t>(first) * s.allocChannels,
                    Bytes(s, kadrs - first));
        last = kadrs - first;
        next = last + 1;
    }
    // seq_cst (a release and more): the data are in place before the position
    // moves, and the reader's drained check needs one order of this store and its own.
    s.writeKadr.store(last, std::memory_order_seq_cst);
    s.drained.store(false, std::memory_order_seq_cst);
    return next;
}

} // namespace velmora::engine
