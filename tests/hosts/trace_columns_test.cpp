// The plot's min/max reduction: whatever the zoom, the block sizes in which
// kadrs arrive and the wrap of the column ring, a one-sample spike stays in
// the column that holds it, and nowhere else; kadrs missing from a stream
// keep their place, and only the columns they fill wholly are empty.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "trace_columns.h"

namespace e16scope {
namespace {

// Zeros, and a spike up on one channel and down on another.
struct Spike {
    std::size_t kadr, channel;
    int16_t code;
};

TEST(TraceColumns, AOneSampleSpikeStaysInItsColumnAtEveryZoom) {
    constexpr std::size_t kKadrs = 5003, kChannels = 3;
    const std::vector<Spike> spikes = {{2500, 1, 30000}, {4100, 2, -30000}};
    std::vector<int16_t> codes(kKadrs * kChannels, 0);
    for (const Spike& s : spikes) codes[s.kadr * kChannels + s.channel] = s.code;
    for (std::size_t perColumn : {1u, 2u, 3u, 7u, 64u, 1000u}) {
        for (std::size_t capacity : {4u, 5003u}) { // the ring wrapped many times, or never
            TraceColumns traces;
            traces.Reset(kChannels, perColumn, capacity);
            for (std::size_t at = 0; at < kKadrs;) { // blocks of odd sizes, as GetData hands them
                const std::size_t block = std::min<std::size_t>(37, kKadrs - at);
                traces.Add(codes.data() + at * kChannels, block);
                at += block;
            }
            SCOPED_TRACE(testing::Message() << perColumn << " kadrs a column, " << capacity << " kept");
            ASSERT_EQ(traces.Completed(), kKadrs / perColumn);
            ASSERT_EQ(traces.Count(), std::min<std::size_t>(capacity, kKadrs / perColumn));
            const uint64_t first = traces.Completed() - traces.Count();
            for (std::size_t i = 0; i < traces.Count(); ++i)
                for (std::size_t c = 0; c < kChannels; ++c) {
                    const std::size_t from = (first + i) * perColumn;
                    int16_t low = INT16_MAX, high = INT16_MIN;
                    for (std::size_t k = from; k < from + perColumn; ++k) {
                        low = std::min(low, codes[k * kChannels + c]);
                        high = std::max(high, codes[k * kChannels + c]);
                    }
                    ASSERT_EQ(std::pair(traces.At(c, i).min, traces.At(c, i).max), std::pair(low, high))
                        << "min and max of column " << first + i << ", channel " << c;
                }
        }
    }
}

// Kadr k has code k on its one channel, so that each column's pair tells
// which kadrs it holds.
TEST(TraceColumns, MissingKadrsKeepTheirPlaceAndEmptyOnlyTheColumnsTheyFill) {
    const struct {
        std::size_t perColumn, capacity, before, gap, after;
    } cases[] = {
        {4, 100, 10, 1, 10},   // inside a column
        {4, 100, 10, 2, 10},   // to a column's end
        {4, 100, 9, 20, 11},   // over whole columns, from and into partial ones
        {1, 100, 5, 3, 5},     // a column a kadr
        {3, 5, 7, 1000003, 8}, // far longer than the ring
        {5, 100, 0, 12, 10},   // before any kadr
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.perColumn << " a column, " << c.before << " + gap " << c.gap << " + " << c.after);
        TraceColumns traces;
        traces.Reset(1, c.perColumn, c.capacity);
        std::vector<int16_t> codes;
        for (std::size_t k = 0; k < c.before; ++k) codes.push_back(static_cast<int16_t>(k));
        traces.Add(codes.data(), codes.size());
        traces.Skip(c.gap);
        codes.clear();
        const std::size_t resume = c.before + c.gap;
        for (std::size_t k = resume; k < resume + c.after; ++k)
            codes.push_back(static_cast<int16_t>(k % 30000));
        traces.Add(codes.data(), codes.size());

        const std::size_t total = resume + c.after;
        ASSERT_EQ(traces.Completed(), total / c.perColumn);
        ASSERT_EQ(traces.Count(), std::min(c.capacity, total / c.perColumn));
        for (std::size_t i = 0; i < traces.Count(); ++i) {
            const std::size_t from = (traces.Completed() - traces.Count() + i) * c.perColumn;
            int16_t low = INT16_MAX, high = INT16_MIN;
            for (std::size_t k = from; k < from + c.perColumn; ++k)
                if (k < c.before || k >= resume) {
                    low = std::min(low, static_cast<int16_t>(k % 30000));
                    high = std::max(high, static_cast<int16_t>(k % 30000));
                }
            const MinMax pair = traces.At(0, i);
            ASSERT_EQ(std::pair(pair.min, pair.max), std::pair(low, high)) << "column from kadr " << from;
            ASSERT_EQ(pair.Empty(), low > high);
        }
    }
}

} // namespace
} // namespace e16scope
