// The module's output stream: the cyclic buffer (load, then switch) and the
// preloaded FIFO, played on three outputs (DAC1, DAC2, digital) at the output
// clock. Ticks are output-clock periods since the stream origin. Not locked
// itself: its module's owner (the simulator lock) guards it.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "word_format.h"

namespace e16sim {

class OutputPlayer {
public:
    static constexpr uint32_t kMaxCycleWords = 4u << 20;

    void reset();
    void setFifoCapacity(uint32_t words) { fifoCapacity_ = words; }
    uint32_t fifoCapacity() const { return fifoCapacity_; }

    int32_t beginCycleLoad(uint32_t words);
    void beginPreload();
    // Takes as many words as fit; returns that count or an error code.
    int32_t accept(const uint32_t* words, uint32_t count, bool playing, uint64_t nowTick);
    uint32_t readyForSend(bool playing, uint64_t nowTick) const;
    bool preloading() const { return mode_ == Mode::Preload; }

    // Switches to the loaded cycle: at once (force), else at the end of the
    // playing period; *startTick tells when it takes over.
    int32_t activateCycle(bool force, bool playing, uint64_t nowTick, uint64_t* startTick);

    // Level an output plays at a tick; false when it plays nothing there.
    bool level(uint32_t channel, uint64_t tick, double* value) const;
    // Forgets segments that ended before keepTick.
    void trim(uint64_t keepTick);
    // Streams stopped: the FIFO is flushed, the active cycle rewinds to tick 0.
    void stop();

    const std::vector<double>& activeCycle(uint32_t channel) const;

private:
    using Samples = std::shared_ptr<const std::vector<double>>;
    struct Segment {
        uint64_t start = 0;
        Samples samples;
        bool cyclic = false;
    };
    enum class Mode { None, CycleLoad, Preload };

    uint64_t unplayed(bool playing, uint64_t nowTick) const;
    uint64_t nextBoundary(uint64_t nowTick) const;
    void appendFifo(uint32_t channel, std::vector<double>&& samples, bool playing, uint64_t nowTick);
    void placeCycle(uint32_t channel, uint64_t start, const Samples& samples);

    Mode mode_ = Mode::None;
    std::vector<uint32_t> load_;
    uint32_t loadSize_ = 0;
    uint32_t fifoCapacity_ = 1u << 20;
    std::array<std::deque<Segment>, kOutChannels> tracks_;
    std::array<Samples, kOutChannels> cycle_;
};

// Splits output words into per-output levels; false on a word of another format.
bool splitOutWords(const uint32_t* words, uint32_t count, std::array<std::vector<double>, kOutChannels>* out);

} // namespace e16sim
