// The input ring without a module: sizes, positions, both ways out, each
// read across the end and within a capacity.
#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <tuple>
#include <utility>
#include <vector>

#include "driver/driver_state.h"
#include "engine/input_ring.h"

namespace velmora::engine {
namespace {

using Numbers = std::vector<int32_t>;

// A ring of `kadrs` kadrs of `n` channels (10, 11, ...), freshly allocated.
void MakeRing(DriverState& s, int16_t n, int32_t kadrs) {
    s.inputCountChannels = n;
    s.inputChannels.resize(static_cast<std::size_t>(n));
    std::iota(s.inputChannels.begin(), s.inputChannels.end(), int16_t{10});
    s.inputSizeKadrs = kadrs;
    ASSERT_TRUE(AllocateInput(s));
}

// Writes kadrs numbered first, first + 1, ...: sample i of kadr k is k * 10 + i.
int32_t Write(DriverState& s, int32_t first, int32_t kadrs, int32_t next) {
    std::vector<int16_t> codes;
    for (int32_t k = first; k < first + kadrs; ++k)
        for (int16_t i = 0; i < s.inputCountChannels; ++i) codes.push_back(static_cast<int16_t>(k * 10 + i));
    return WriteKadrs(s, codes.data(), kadrs, next);
}

// The numbers of the kadrs in `samples`; -1 for a kadr that is not whole.
Numbers KadrNumbers(const int16_t* samples, int32_t kadrs, int32_t n) {
    Numbers numbers;
    for (const int16_t* kadr = samples; kadr < samples + kadrs * n; kadr += n)
        numbers.push_back(kadr[n - 1] - kadr[0] == n - 1 ? kadr[0] / 10 : -1);
    return numbers;
}

Numbers TakeAll(DriverState& s) {
    const InputTable t = TakeInputData(s);
    return KadrNumbers(t.values.data() + t.channels, t.kadrs, t.channels);
}

TEST(Ring, SizeFollowsRequestAndChannelsAndPositionsCountTheUnreadKadrs) {
    const std::tuple<int32_t, int16_t, int32_t> sizes[] = {
        {100, 1, 32768},      {1023, 1, 32768},     {1024, 1, 1024}, {1048576, 3, 524288},
        {1048576, 8, 131072}, {1048576, 32, 32768}, {1027, 2, 514},  {INT32_MAX, 3, 715827882}};
    for (const auto& [request, channels, kadrs] : sizes) {
        DriverState s;
        s.inputSizeRequested = request;
        s.inputCountChannels = channels;
        EXPECT_EQ(ComputeInputSize(s), kadrs) << request << " samples, " << channels << " channels";
        EXPECT_EQ(s.inputSizeData, kadrs * channels);
    }
    DriverState s;
    MakeRing(s, 2, 10);
    const InputTable fresh = TakeInputData(s); // as right after a start: the header column only
    EXPECT_EQ(std::pair(fresh.kadrs, fresh.values), std::pair(0, std::vector<int16_t>{10, 11}));
    const std::tuple<int32_t, int32_t, bool, int32_t> cases[] = {
        {4, 4, false, 1}, {4, 9, false, 6}, {9, 3, false, 5}, {9, 3, true, 0}};
    for (const auto& [read, write, drained, unread] : cases) {
        s.readKadr = read;
        s.writeKadr = write;
        s.drained = drained;
        EXPECT_EQ(CountUnreadKadrs(s), unread) << read << ".." << write;
        EXPECT_EQ(s.inputCountKadrs.load(), unread);
    }
}

TEST(Ring, BothWaysOutReadAcrossTheEndAndDrainedTellsFullFromEmpty) {
    DriverState s;
    MakeRing(s, 3, 8);
    int32_t next = Write(s, 0, 6, 1);
    EXPECT_EQ(TakeAll(s).size(), 6u);
    next = Write(s, 6, 4, next); // ring kadrs 7, 8, then 1, 2
    EXPECT_EQ(TakeAll(s), (Numbers{6, 7, 8, 9}));
    EXPECT_EQ(Write(s, 10, 8, next), 3); // ring kadrs 3..8, 1, 2: full
    EXPECT_EQ(std::tuple(s.readKadr.load(), s.writeKadr.load(), CountUnreadKadrs(s)), std::tuple(3, 2, 8));
    EXPECT_EQ(TakeAll(s), (Numbers{10, 11, 12, 13, 14, 15, 16, 17}));
    // The same positions, now empty.
    EXPECT_EQ(std::pair(s.readKadr.load(), CountUnreadKadrs(s)), std::pair(3, 0));
    EXPECT_EQ(TakeAll(s), Numbers{});
    // GetData on a ring of six kadrs of four: whole kadrs within its capacity, tail first.
    DriverState t;
    MakeRing(t, 4, 6);
    next = Write(t, 0, 5, 1);
    std::vector<int16_t> buffer(20, -1);
    auto copy = [&](int32_t capacity) { // kadrs written, samples written, samples left, kadr numbers
        int32_t count = capacity, rest = 0;
        const int32_t kadrs = CopyInputData(t, buffer.data(), count, rest);
        return std::tuple(kadrs, count, rest, KadrNumbers(buffer.data(), kadrs, 4));
    };
    EXPECT_EQ(copy(10), std::tuple(2, 8, 12, Numbers{0, 1}));
    EXPECT_EQ(buffer[8], -1);    // nothing past the whole kadrs
    copy(8);                     // kadrs 2, 3
    next = Write(t, 5, 4, next); // ring kadrs 6, 1, 2, 3
    // Three of five: the tail, then two from ring kadr 1.
    EXPECT_EQ(copy(12), std::tuple(3, 12, 8, Numbers{4, 5, 6}));
    EXPECT_EQ(copy(20), std::tuple(2, 8, 0, Numbers{7, 8}));
    EXPECT_TRUE(t.drained.load());
}

} // namespace
} // namespace velmora::engine
