// The traces as the plot draws them: kadrs of interleaved codes reduced, as
// they arrive, to one (min, max) pair per channel and pixel column, over a
// window of the latest columns. No sample is kept and no peak is lost: each
// pair holds its column's extreme samples; a column whose kadrs all went
// missing holds none. One thread (the GUI's).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace e16scope {

struct MinMax {
    int16_t min = INT16_MAX;
    int16_t max = INT16_MIN;
    // No sample: a column inside a gap of the kadrs.
    bool Empty() const { return min > max; }
};

// Widens each channel's pair in `pairs` by `kadrs` kadrs of `channels`
// interleaved codes.
void ReduceInto(MinMax* pairs, const int16_t* codes, std::size_t channels, std::size_t kadrs);

class TraceColumns {
public:
    // Forgets every column: `channels` per kadr, `kadrsPerColumn` (at least 1)
    // kadrs in a column, the latest `capacity` (at least 1) columns kept.
    void Reset(std::size_t channels, std::size_t kadrsPerColumn, std::size_t capacity);
    void Add(const int16_t* codes, std::size_t kadrs);
    // `kadrs` kadrs that never came (a gap in a stream): they take their
    // place in the columns, adding no sample.
    void Skip(uint64_t kadrs);

    std::size_t Channels() const { return channels_; }
    std::size_t KadrsPerColumn() const { return kadrsPerColumn_; }
    std::size_t Capacity() const { return capacity_; }
    // Complete columns kept, oldest first; the column being filled is not one.
    std::size_t Count() const { return count_; }
    // Columns completed since Reset, so that column i of Count() is number
    // Completed() - Count() + i, starting at kadr number x KadrsPerColumn().
    uint64_t Completed() const { return completed_; }
    MinMax At(std::size_t channel, std::size_t column) const;

private:
    // Moves the column being filled into the ring and starts an empty one.
    void Complete();

    std::size_t channels_ = 0, kadrsPerColumn_ = 1, capacity_ = 1;
    std::vector<MinMax> ring_;    // capacity_ columns of channels_ pairs
    std::vector<MinMax> partial_; // the column being filled
    std::size_t partialKadrs_ = 0;
    std::size_t next_ = 0; // ring slot of the next column
    std::size_t count_ = 0;
    uint64_t completed_ = 0;
};

// Kadrs per column so that a window of `windowKadrs` fits in `columns`
// columns; at least 1.
std::size_t KadrsPerColumn(double windowKadrs, std::size_t columns);

} // namespace e16scope
