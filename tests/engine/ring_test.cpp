// The input ring without a module: sizes, positions, wrapping, both ways out,
// and the codes of single readings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

#include "driver/driver_state.h"
#include "engine/channels.h"
#include "engine/input_ring.h"
#include "engine/single_reading.h"

namespace velmora::engine {
namespace {

using driver::DriverState;

// A ring of `kadrs` kadrs of `n` channels, freshly allocated.
void MakeRing(DriverState& s, int16_t n, int32_t kadrs) {
    s.inputCountChannels = n;
    s.inputChannels.resize(static_cast<std::size_t>(n));
    std::iota(s.inputChannels.begin(), s.inputChannels.end(), int16_t{10});
    s.inputSizeKadrs = kadrs;
    ASSERT_TRUE(AllocateInput(s));
}

// Writes `kadrs` kadrs numbered on from `first`: sample i of kadr k is k * 10 + i.
int32_t Write(DriverState& s, int32_t first, int32_t kadrs, int32_t next) {
    std::vector<int16_t> codes;
    for (int32_t k = first; k < first + kadrs; ++k)
        for (int16_t i = 0; i < s.inputCountChannels; ++i) codes.push_back(static_cast<int16_t>(k * 10 + i));
    return WriteKadrs(s, codes.data(), kadrs, next);
}

// The kadr numbers found in a block of samples.
std::vector<int32_t> KadrNumbers(const int16_t* samples, int32_t kadrs, int32_t n) {
    std::vector<int32_t> numbers;
    for (int32_t k = 0; k < kadrs; ++k) {
        const int16_t* kadr = samples + static_cast<std::ptrdiff_t>(k) * n;
        for (int32_t i = 0; i < n; ++i) EXPECT_EQ(kadr[i] - kadr[0], i) << "kadr " << k << " is not whole";
        numbers.push_back(kadr[0] / 10);
    }
    return numbers;
}

std::vector<int32_t> Range(int32_t first, int32_t count) {
    std::vector<int32_t> v(static_cast<std::size_t>(count));
    std::iota(v.begin(), v.end(), first);
    return v;
}

TEST(InputSize, FollowsRequestAndChannelCount) {
    DriverState s;
    struct Case {
        int32_t request;
        int16_t channels;
        int32_t kadrs;
    };
    const Case cases[] = {{100, 1, 32768},       {1023, 1, 32768},     {1024, 1, 1024},
                          {1048576, 1, 1048576}, {1048576, 2, 524288}, {1048576, 3, 524288},
                          {1048576, 7, 262144},  {1048576, 8, 131072}, {1048576, 31, 65536},
                          {1048576, 32, 32768},  {1025, 2, 512},       {1027, 2, 514}};
    for (const Case& c : cases) {
        s.inputSizeRequested = c.request;
        s.inputCountChannels = c.channels;
        EXPECT_EQ(ComputeInputSize(s), c.kadrs) << c.request << " samples, " << c.channels << " channels";
        EXPECT_EQ(s.inputSizeData, c.kadrs * c.channels);
    }
}

TEST(InputSize, NoChannelsKeepsKadrsAndSelectsOne) {
    DriverState s;
    s.inputSizeKadrs = 777;
    s.inputSizeRequested = 4096;
    s.inputCountChannels = 0;
    EXPECT_EQ(ComputeInputSize(s), 777);
    EXPECT_EQ(s.inputCountChannels, 1);
    EXPECT_EQ(s.inputSizeData, 777);
}

TEST(InputSize, HugeRequestStaysWithinALong) {
    DriverState s;
    s.inputSizeRequested = std::numeric_limits<int32_t>::max();
    s.inputCountChannels = 3;
    ComputeInputSize(s);
    EXPECT_GT(s.inputSizeData, 0);
    EXPECT_EQ(s.inputSizeData, s.inputSizeKadrs * 3);
}

TEST(Ring, FreshRingHoldsOnlyTheHeader) {
    DriverState s;
    MakeRing(s, 3, 16);
    const InputTable t = TakeInputData(s);
    EXPECT_EQ(t.channels, 3);
    EXPECT_EQ(t.kadrs, 0);
    EXPECT_EQ(t.values, (std::vector<int16_t>{10, 11, 12}));
    EXPECT_EQ(CountUnreadKadrs(s), 0);
    EXPECT_EQ(s.inputCountKadrs.load(), 0);
}

TEST(Ring, NothingReadableBeforeTheFirstAllocation) {
    DriverState s; // positions all zero, drained false
    s.inputCountChannels = 1;
    s.inputChannels = {0};
    EXPECT_EQ(CountUnreadKadrs(s), 0);
    EXPECT_EQ(TakeInputData(s).kadrs, 0);
    int16_t buffer[4] = {};
    int32_t count = 4, rest = -1;
    EXPECT_EQ(CopyInputData(s, buffer, count, rest), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(rest, 0);
}

TEST(Ring, UnreadCountFromPositions) {
    DriverState s;
    MakeRing(s, 2, 10);
    s.drained = false;
    s.readKadr = 4;
    s.writeKadr = 4;
    EXPECT_EQ(CountUnreadKadrs(s), 1);
    s.writeKadr = 9;
    EXPECT_EQ(CountUnreadKadrs(s), 6);
    s.readKadr = 9;
    s.writeKadr = 3;
    EXPECT_EQ(CountUnreadKadrs(s), 5); // 9, 10, 1, 2, 3
    s.drained = true;
    EXPECT_EQ(CountUnreadKadrs(s), 0);
    EXPECT_EQ(s.inputCountKadrs.load(), 0);
}

TEST(Ring, FullAndEmptyToldApartByDrained) {
    DriverState s;
    MakeRing(s, 2, 8);
    int32_t next = Write(s, 0, 8, 1);
    EXPECT_EQ(next, 1);
    EXPECT_EQ(s.readKadr.load(), 1);
    EXPECT_EQ(s.writeKadr.load(), 8);
    EXPECT_EQ(CountUnreadKadrs(s), 8); // full
    const InputTable t = TakeInputData(s);
    EXPECT_EQ(KadrNumbers(t.values.data() + 2, t.kadrs, 2), Range(0, 8));
    // Same positions as the full ring (read one past write), now empty.
    EXPECT_EQ(s.readKadr.load(), 1);
    EXPECT_TRUE(s.drained.load());
    EXPECT_EQ(CountUnreadKadrs(s), 0);
    EXPECT_EQ(TakeInputData(s).kadrs, 0);
}

TEST(Ring, BlockCrossingTheEndWrapsAndReadsBackInOrder) {
    DriverState s;
    MakeRing(s, 3, 10);
    int32_t next = Write(s, 0, 4, 1);
    next = Write(s, 4, 4, next);
    EXPECT_EQ(KadrNumbers(TakeInputData(s).values.data() + 3, 8, 3), Range(0, 8));
    next = Write(s, 8, 4, next); // kadrs 9, 10, then 1, 2 of the ring
    EXPECT_EQ(s.writeKadr.load(), 2);
    EXPECT_EQ(next, 3);
    EXPECT_EQ(CountUnreadKadrs(s), 4);
    const InputTable t = TakeInputData(s);
    ASSERT_EQ(t.kadrs, 4);
    EXPECT_EQ(KadrNumbers(t.values.data() + 3, 4, 3), Range(8, 4));
    EXPECT_EQ(s.readKadr.load(), 3);
}

TEST(Ring, GetDataTakesWholeKadrsWithinCapacity) {
    DriverState s;
    MakeRing(s, 4, 16);
    Write(s, 0, 5, 1);
    std::vector<int16_t> buffer(20, -1);
    int32_t count = 10, rest = 0;
    EXPECT_EQ(CopyInputData(s, buffer.data(), count, rest), 2);
    EXPECT_EQ(count, 8);
    EXPECT_EQ(rest, 12);
    EXPECT_EQ(KadrNumbers(buffer.data(), 2, 4), Range(0, 2));
    EXPECT_EQ(buffer[8], -1); // nothing past the whole kadrs
    EXPECT_FALSE(s.drained.load());

    count = 3; // less than one kadr
    EXPECT_EQ(CopyInputData(s, buffer.data(), count, rest), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(rest, 12);

    count = 20;
    EXPECT_EQ(CopyInputData(s, buffer.data(), count, rest), 3);
    EXPECT_EQ(count, 12);
    EXPECT_EQ(rest, 0);
    EXPECT_TRUE(s.drained.load());
    EXPECT_EQ(s.inputCountKadrs.load(), 0);
}

TEST(Ring, GetDataAcrossTheEndKeepsOrder) {
    DriverState s;
    MakeRing(s, 2, 6);
    int32_t next = Write(s, 0, 5, 1);
    std::vector<int16_t> buffer(12);
    int32_t count = 8, rest = 0;
    CopyInputData(s, buffer.data(), count, rest); // kadrs 0..3 read
    next = Write(s, 5, 4, next);                  // ring kadrs 6, 1, 2, 3
    EXPECT_EQ(CountUnreadKadrs(s), 5);
    count = 6; // three of the five: the tail, then two from kadr 1
    EXPECT_EQ(CopyInputData(s, buffer.data(), count, rest), 3);
    EXPECT_EQ(KadrNumbers(buffer.data(), 3, 2), Range(4, 3));
    EXPECT_EQ(rest, 4);
    count = 12;
    EXPECT_EQ(CopyInputData(s, buffer.data(), count, rest), 2);
    EXPECT_EQ(KadrNumbers(buffer.data(), 2, 2), Range(7, 2));
    EXPECT_EQ(rest, 0);
}

TEST(Ring, ReallocationOnlyWhenTheShapeChanges) {
    DriverState s;
    MakeRing(s, 2, 8);
    Write(s, 3, 8, 1);
    const int16_t* before = s.inputBuffer.data();
    ASSERT_TRUE(AllocateInput(s)); // same shape: cleared in place, positions reset
    EXPECT_EQ(s.inputBuffer.data(), before);
    EXPECT_EQ(std::count(s.inputBuffer.begin(), s.inputBuffer.end(), 0), 16);
    EXPECT_EQ(s.readKadr.load(), 1);
    EXPECT_EQ(s.writeKadr.load(), 0);
    EXPECT_TRUE(s.drained.load());

    s.inputSizeKadrs = 12;
    ASSERT_TRUE(AllocateInput(s));
    EXPECT_EQ(s.allocKadrs, 12);
    EXPECT_EQ(s.inputBuffer.size(), 24u);
}

TEST(Ring, NewSelectionWidthDropsTheOldKadrs) {
    DriverState s;
    MakeRing(s, 2, 8);
    Write(s, 0, 3, 1);
    SetInputChannels(s, {1, 2, 3}); // no module: only the driver's side changes
    EXPECT_EQ(s.inputCountChannels, 3);
    EXPECT_EQ(CountUnreadKadrs(s), 0);
    const InputTable t = TakeInputData(s);
    EXPECT_EQ(t.kadrs, 0);
    EXPECT_EQ(t.values, (std::vector<int16_t>{1, 2, 3}));
}

TEST(Ring, RejectedSelectionsChangeNothing) {
    DriverState s;
    s.inputChannels = {4};
    s.inputCountChannels = 1;
    SetInputChannels(s, {});
    SetInputChannels(s, {1, 32});
    SetInputChannels(s, {-1});
    s.busy = true;
    SetInputChannels(s, {2, 3});
    s.busy = false;
    EXPECT_EQ(s.inputChannels, std::vector<int16_t>{4});
    EXPECT_EQ(s.inputCountChannels, 1);
}

TEST(SingleReading, CodesOfVolts) {
    EXPECT_EQ(ClampToCode(10.2 * 3200), 32640);
    EXPECT_EQ(ClampToCode(10.24 * 3200), 32767);
    EXPECT_EQ(ClampToCode(-11.0 * 3200), -32768);
    EXPECT_EQ(ClampToCode(0.5), 0);
    EXPECT_EQ(ClampToCode(-1.5), -2);
}

} // namespace
} // namespace velmora::engine
