// The plot's min/max reduction: whatever the zoom, the block sizes in which
// kadrs arrive and the wrap of the column ring, a one-sample spike stays in
// the column that holds it, and nowhere else; kadrs missing from a stream
// keep their place, and only the columns they fill wholly are empty.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

#include "trace_columns.h"

namespace e16scope {
namespace {

// Channel c's code in kadr k; none for a kadr that never came.
using Code = std::function<std::optional<int16_t>(std::size_t k, std::size_t c)>;

// `traces`, after `kadrs` kadrs of `channels` given by `code`, keeps the
// latest columns of `perColumn` kadrs, each the min and max of its codes, and
// empty where it has none.
void ExpectColumns(const TraceColumns& traces, std::size_t perColumn, std::size_t capacity, std::size_t kadrs,
                   std::size_t channels, const Code& code) {
    ASSERT_EQ(std::tuple(traces.Completed(), traces.Count()),
              std::tuple(kadrs / perColumn, std::min(capacity, kadrs / perColumn)));
    for (std::size_t i = 0; i < traces.Count(); ++i)
        for (std::size_t c = 0; c < channels; ++c) {
            const std::size_t from = (traces.Completed() - traces.Count() + i) * perColumn;
            MinMax expected;
            for (std::size_t k = from; k < from + perColumn; ++k)
                if (const std::optional<int16_t> at = code(k, c)) {
                    expected.min = std::min(expected.min, *at);
                    expected.max = std::max(expected.max, *at);
                }
            const MinMax pair = traces.At(c, i);
            ASSERT_EQ(std::tuple(pair.min, pair.max, pair.Empty()),
                      std::tuple(expected.min, expected.max, expected.Empty()))
                << "min, max and emptiness of the column from kadr " << from << ", channel " << c;
        }
}

// Zeros, and a spike up on one channel and down on another.
TEST(TraceColumns, AOneSampleSpikeStaysInItsColumnAtEveryZoom) {
    constexpr std::size_t kKadrs = 5003, kChannels = 3;
    const Code code = [](std::size_t k, std::size_t c) -> std::optional<int16_t> {
        return k == 2500 && c == 1 ? 30000 : k == 4100 && c == 2 ? -30000 : 0;
    };
    std::vector<int16_t> codes;
    for (std::size_t k = 0; k < kKadrs; ++k)
        for (std::size_t c = 0; c < kChannels; ++c) codes.push_back(*code(k, c));
    for (std::size_t perColumn : {1u, 2u, 3u, 7u, 64u, 1000u})
        for (std::size_t capacity : {4u, 5003u}) { // the ring wrapped many times, or never
            SCOPED_TRACE(testing::Message() << perColumn << " kadrs a column, " << capacity << " kept");
            TraceColumns traces;
            traces.Reset(kChannels, perColumn, capacity);
            for (std::size_t at = 0; at < kKadrs; at += 37) // blocks of odd sizes, as GetData hands them
                traces.Add(codes.data() + at * kChannels, std::min<std::size_t>(37, kKadrs - at));
            ExpectColumns(traces, perColumn, capacity, kKadrs, kChannels, code);
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
        const std::size_t resume = c.before + c.gap;
        const Code code = [&c, resume](std::size_t k, std::size_t) -> std::optional<int16_t> {
            if (k >= c.before && k < resume) return std::nullopt;
            return static_cast<int16_t>(k % 30000);
        };
        TraceColumns traces;
        traces.Reset(1, c.perColumn, c.capacity);
        std::vector<int16_t> codes; // of the kadrs that came
        for (std::size_t k = 0; k < resume + c.after; ++k)
            if (const std::optional<int16_t> at = code(k, 0)) codes.push_back(*at);
        traces.Add(codes.data(), c.before);
        traces.Skip(c.gap);
        traces.Add(codes.data() + c.before, c.after);
        ExpectColumns(traces, c.perColumn, c.capacity, resume + c.after, 1, code);
    }
}

} // namespace
} // namespace e16scope
