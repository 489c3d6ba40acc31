// The input ring on its own: sizes, positions, both ways out, each read
// across the end and within a capacity, and a reader racing the writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "engine/input_ring.h"

namespace velmora::engine {
namespace {

using Numbers = std::vector<int32_t>;

// The selection 10, 11, ... of n channels.
std::vector<int16_t> Selection(int16_t n) {
    std::vector<int16_t> channels(static_cast<std::size_t>(n));
    std::iota(channels.begin(), channels.end(), int16_t{10});
    return channels;
}

// A ring of `kadrs` kadrs of `n` channels, freshly allocated.
struct Ring {
    Ring(int16_t n, int32_t kadrs) : n(n) {
        std::string error;
        EXPECT_TRUE(ring.Allocate(n, kadrs, error)) << error;
    }

    // Writes kadrs numbered first, first + 1, ...: sample i of kadr k is
    // (k mod 3000) * 10 + i.
    void Write(int32_t first, int32_t kadrs) {
        std::vector<int16_t> codes;
        for (int32_t k = first; k < first + kadrs; ++k)
            for (int16_t i = 0; i < n; ++i) codes.push_back(static_cast<int16_t>(k % 3000 * 10 + i));
        ring.Write(codes.data(), kadrs);
    }

    InputTable Take(int16_t width) {
        const InputTable t = ring.Unread(Selection(width));
        ring.MarkRead(t.kadrs);
        return t;
    }
    Numbers TakeAll() {
        const InputTable t = Take(n);
        return KadrNumbers(t.values.data() + t.channels, t.kadrs, t.channels);
    }

    // The numbers of the kadrs in `samples`; -1 for a kadr that is not whole.
    static Numbers KadrNumbers(const int16_t* samples, int32_t kadrs, int32_t n) {
        Numbers numbers;
        for (const int16_t* kadr = samples; kadr < samples + kadrs * n; kadr += n)
            numbers.push_back(kadr[n - 1] - kadr[0] == n - 1 ? kadr[0] / 10 : -1);
        return numbers;
    }

    InputRing ring;
    int16_t n;
};

TEST(Ring, SizeFollowsTheRequestPerChannel) {
    // Request in samples, channels, kadrs.
    const std::tuple<int32_t, int16_t, int32_t> sizes[] = {
        {100, 1, 32768},      {1023, 1, 32768},     {1024, 1, 1024}, {1048576, 3, 524288},
        {1048576, 8, 131072}, {1048576, 32, 32768}, {1027, 2, 514},  {INT32_MAX, 3, 715827882}};
    for (const auto& [request, channels, kadrs] : sizes) {
        SCOPED_TRACE(std::to_string(request) + " samples, " + std::to_string(channels) + " channels");
        InputRing ring;
        ring.requested = request;
        EXPECT_EQ(ring.ComputeSize(channels), kadrs) << "kadrs";
        EXPECT_EQ(ring.SizeData(), kadrs * channels) << "samples";
    }
}

// The channel list heads every table; kadrs of two channels are not read as
// three, and stay for a reader of the right width until they are marked read
// or dropped.
TEST(Ring, TakeGivesOnlyKadrsOfTheReadersWidth) {
    Ring r(2, 10);
    const InputTable fresh = r.Take(2);
    EXPECT_EQ(std::pair(fresh.kadrs, fresh.values), std::pair(0, std::vector<int16_t>{10, 11}))
        << "a fresh ring: the channel list alone heads the table";
    r.Write(0, 3);
    EXPECT_EQ(r.Take(3).kadrs, 0) << "kadrs of two channels are not read as three";
    EXPECT_EQ(r.ring.CountUnread(), 3) << "and stay for a reader of the right width";
    EXPECT_EQ(r.ring.Unread(Selection(2)).kadrs, 3);
    EXPECT_EQ(r.ring.CountUnread(), 3) << "a table not yet given to the host leaves them unread";
    r.ring.DropUnread();
    EXPECT_EQ(r.ring.CountUnread(), 0) << "dropped";
}

// Kadrs taken, then more written across the end: 4 (ring kadrs 7, 8, 1, 2),
// or 8 that fill the ring (3..8, 1, 2), which is not an empty one.
TEST(Ring, TakeReadsAcrossTheEnd) {
    for (const auto& [taken, expected] :
         {std::pair{6, Numbers{6, 7, 8, 9}}, {2, Numbers{2, 3, 4, 5, 6, 7, 8, 9}}}) {
        const auto across = static_cast<int32_t>(expected.size());
        SCOPED_TRACE(across);
        Ring r(3, 8);
        r.Write(0, taken);
        EXPECT_EQ(r.TakeAll().size(), static_cast<std::size_t>(taken));
        r.Write(taken, across);
        EXPECT_EQ(r.ring.CountUnread(), across) << "unread across the end";
        EXPECT_EQ(r.TakeAll(), expected);
        EXPECT_EQ(r.ring.CountUnread(), 0) << "the same positions, now empty";
        EXPECT_EQ(r.TakeAll(), Numbers{});
    }
}

TEST(Ring, CopyTakesWholeKadrsWithinTheCapacityTailFirst) {
    Ring r(4, 6);
    r.Write(0, 5);
    std::vector<int16_t> buffer(20, -1);
    int32_t count = 0, rest = 0;
    // The kadr numbers copied, the samples written (whole kadrs only) and those still unread.
    auto copy = [&](int32_t capacity) {
        count = capacity;
        const int32_t kadrs = r.ring.Copy(buffer.data(), count, rest);
        return std::tuple(Ring::KadrNumbers(buffer.data(), kadrs, 4), count, rest);
    };
    EXPECT_EQ(copy(10), std::tuple(Numbers{0, 1}, 8, 12));
    EXPECT_EQ(buffer[8], -1) << "nothing past the whole kadrs";
    copy(8);       // kadrs 2, 3
    r.Write(5, 4); // ring kadrs 6, 1, 2, 3
    EXPECT_EQ(copy(12), std::tuple(Numbers{4, 5, 6}, 12, 8)) << "the tail, then two from ring kadr 1";
    EXPECT_EQ(copy(20), std::tuple(Numbers{7, 8}, 8, 0));
    EXPECT_EQ(r.ring.CountUnread(), 0);
    count = 20;
    EXPECT_EQ(r.ring.Copy(nullptr, count, rest), 0) << "no buffer";
    EXPECT_EQ(count, 0);
}

// The worker's side on a thread of its own, the host reading while it
// writes: every kadr arrives once, whole and in order, and the unread count
// the host sees never exceeds the ring. A reader that drains the ring just as
// a block is published must not take the ring for full and read old kadrs.
TEST(Ring, AReaderRacingTheWriterSeesEveryKadrOnceInOrder) {
    constexpr int32_t kKadrs = 20000;
    Ring r(2, 64);
    std::thread writer([&] {
        for (int32_t k = 0; k < kKadrs;) {
            const int32_t block = std::min(7, kKadrs - k);
            while (r.ring.Capacity() - r.ring.CountUnread() < block) std::this_thread::yield();
            r.Write(k, block);
            k += block;
        }
    });
    int32_t next = 0, overfull = 0, firstWrong = -1;
    std::vector<int16_t> buffer(2 * 13);
    while (next < kKadrs) {
        overfull += r.ring.CountUnread() > 64;
        int32_t count = static_cast<int32_t>(buffer.size()), rest = 0;
        const int32_t kadrs = r.ring.Copy(buffer.data(), count, rest);
        for (const int32_t n : Ring::KadrNumbers(buffer.data(), kadrs, 2)) {
            if (n != next % 3000 && firstWrong < 0) firstWrong = next;
            ++next;
        }
    }
    writer.join();
    EXPECT_EQ(overfull, 0);
    EXPECT_EQ(firstWrong, -1) << "the first kadr out of place";
}

} // namespace
} // namespace velmora::engine
