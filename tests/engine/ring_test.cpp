// The input ring without a module: sizes, positions, wrapping, both ways out,
// and the codes of single readings.
#include <gtest/gtest.h>

#include <limits>
#include <numeric>
#include <tuple>
#include <vector>

#include "driver/driver_state.h"
#include "engine/channels.h"
#include "engine/input_ring.h"
#include "engine/single_reading.h"

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

TEST(InputSize, FollowsRequestAndChannelCount) {
    const std::tuple<int32_t, int16_t, int32_t> cases[] = {
        {100, 1, 32768},      {1023, 1, 32768},
        {1024, 1, 1024},      {1048576, 3, 524288},
        {1048576, 8, 131072}, {1048576, 32, 32768},
        {1027, 2, 514},       {std::numeric_limits<int32_t>::max(), 3, 715827882}};
    for (const auto& [request, channels, kadrs] : cases) {
        DriverState s;
        s.inputSizeRequested = request;
        s.inputCountChannels = channels;
        EXPECT_EQ(ComputeInputSize(s), kadrs) << request << " samples, " << channels << " channels";
        EXPECT_EQ(s.inputSizeData, kadrs * channels);
    }
}

TEST(Ring, PositionsCountTheUnreadKadrs) {
    DriverState s;
    MakeRing(s, 2, 10);
    const InputTable fresh = TakeInputData(s); // as right after a start: the header column only
    EXPECT_EQ(fresh.kadrs, 0);
    EXPECT_EQ(fresh.values, (std::vector<int16_t>{10, 11}));
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

TEST(Ring, InputDataReturnsTheTailFirstAndDrainedTellsFullFromEmpty) {
    DriverState s;
    MakeRing(s, 3, 8);
    int32_t next = Write(s, 0, 6, 1);
    EXPECT_EQ(TakeAll(s).size(), 6u);
    next = Write(s, 6, 4, next); // ring kadrs 7, 8, then 1, 2
    EXPECT_EQ(TakeAll(s), (Numbers{6, 7, 8, 9}));
    EXPECT_EQ(Write(s, 10, 8, next), 3); // ring kadrs 3..8, 1, 2: full
    EXPECT_EQ(s.readKadr.load(), 3);
    EXPECT_EQ(s.writeKadr.load(), 2);
    EXPECT_EQ(CountUnreadKadrs(s), 8);
    EXPECT_EQ(TakeAll(s), (Numbers{10, 11, 12, 13, 14, 15, 16, 17}));
    EXPECT_EQ(s.readKadr.load(), 3); // the same positions, now empty
    EXPECT_EQ(CountUnreadKadrs(s), 0);
    EXPECT_EQ(TakeAll(s), Numbers{});
}

TEST(Ring, GetDataTakesWholeKadrsWithinItsCapacityTailFirst) {
    DriverState s;
    MakeRing(s, 4, 6);
    int32_t next = Write(s, 0, 5, 1);
    std::vector<int16_t> buffer(20, -1);
    int32_t count = 10, rest = 0;
    EXPECT_EQ(CopyInputData(s, buffer.data(), count, rest), 2);
    EXPECT_EQ(count, 8);
    EXPECT_EQ(rest, 12);
    EXPECT_EQ(KadrNumbers(buffer.data(), 2, 4), (Numbers{0, 1}));
    EXPECT_EQ(buffer[8], -1);                     // nothing past the whole kadrs
    CopyInputData(s, buffer.data(), count, rest); // kadrs 2, 3
    next = Write(s, 5, 4, next);                  // ring kadrs 6, 1, 2, 3
    count = 12;                                   // three of five: the tail, then two from ring kadr 1
    EXPECT_EQ(CopyInputData(s, buffer.data(), count, rest), 3);
    EXPECT_EQ(KadrNumbers(buffer.data(), 3, 4), (Numbers{4, 5, 6}));
    EXPECT_EQ(rest, 8);
    count = 20;
    EXPECT_EQ(CopyInputData(s, buffer.data(), count, rest), 2);
    EXPECT_EQ(KadrNumbers(buffer.data(), 2, 4), (Numbers{7, 8}));
    EXPECT_EQ(rest, 0);
    EXPECT_TRUE(s.drained.load());
}

TEST(Ring, ANewSelectionWidthDropsTheOldKadrs) {
    DriverState s;
    MakeRing(s, 2, 8);
    Write(s, 0, 3, 1);
    SetInputChannels(s, {1, 2, 3}); // no module: only the driver's side changes
    EXPECT_EQ(CountUnreadKadrs(s), 0);
    SetInputChannels(s, {4, 5}); // the ring's width again: the old kadrs stay gone
    EXPECT_EQ(CountUnreadKadrs(s), 0);
    EXPECT_EQ(TakeInputData(s).values, (std::vector<int16_t>{4, 5}));
}

TEST(SingleReading, CodesOfVoltsRoundHalvesToEvenAndClip) {
    const std::pair<double, int16_t> cases[] = {
        {10.2 * 3200, 32640}, {10.25 * 3200, 32767}, {-11.0 * 3200, -32768}, {0.5, 0}, {1.5, 2}, {-2.5, -2}};
    for (const auto& [value, code] : cases) EXPECT_EQ(ClampToCode(value), code) << value;
}

} // namespace
} // namespace velmora::engine
