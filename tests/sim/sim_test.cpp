// What the other tests take from the simulated module on trust: the words of
// the input stream, their conversion to volts and the frame a start on an
// analog level begins at. The rest of the simulator is checked through TE16,
// the engine, the driver and the hosts, which all run on it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <future>
#include <thread>
#include <tuple>
#include <vector>

#include "device/x502api.h"
#include "sim_probes.h"

namespace e16sim::test {
namespace {

// A module opened at 127.0.0.1 with `table` programmed (physical input, mode,
// range per logical channel), streaming ADC words at `rate` words a second
// unless the rate is 0, after `program` has set what else it needs; freed,
// and the simulator reset, at the end.
struct Streaming {
    struct Channel {
        uint32_t phy, mode, range;
    };
    Streaming(const std::vector<Channel>& table, double rate,
              const std::function<void(t_x502_hnd)>& program = {}) {
        EXPECT_EQ(E16_OpenByIpAddr(h, 0x7F000001u, 0, 10000), X502_ERR_OK);
        for (uint32_t i = 0; i < table.size(); ++i)
            EXPECT_EQ(X502_SetLChannel(h, i, table[i].phy, table[i].mode, table[i].range, 0), X502_ERR_OK);
        EXPECT_EQ(X502_SetLChannelCount(h, static_cast<uint32_t>(table.size())), X502_ERR_OK);
        if (rate == 0) return;
        EXPECT_EQ(X502_SetAdcFreq(h, &rate, nullptr), X502_ERR_OK);
        EXPECT_EQ(X502_StreamsEnable(h, X502_STREAM_ADC), X502_ERR_OK);
        if (program) program(h);
        EXPECT_EQ(X502_Configure(h, 0), X502_ERR_OK);
        EXPECT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    }
    ~Streaming() {
        X502_Free(h);
        e16sim_reset();
    }
    std::vector<uint32_t> Receive(uint32_t count) {
        std::vector<uint32_t> words(count);
        for (uint32_t got = 0; got < count;) {
            const int32_t n = X502_Recv(h, words.data() + got, count - got, 5000);
            if (n <= 0) {
                ADD_FAILURE() << "X502_Recv gave " << n << " after " << got << " words";
                break;
            }
            got += static_cast<uint32_t>(n);
        }
        return words;
    }
    // The library's values of `words`: volts, or codes with no flags.
    std::vector<double> Process(const std::vector<uint32_t>& words, uint32_t flags = X502_PROC_FLAGS_VOLT) {
        std::vector<double> values(words.size());
        uint32_t size = static_cast<uint32_t>(words.size());
        EXPECT_EQ(X502_ProcessAdcData(h, words.data(), values.data(), &size, flags), X502_ERR_OK);
        values.resize(size);
        return values;
    }
    t_x502_hnd h = X502_Create();
};

// The input modes: against ground, differential, the input's own zero.
constexpr uint32_t kComm = X502_LCH_MODE_COMM, kDiff = X502_LCH_MODE_DIFF, kZero = X502_LCH_MODE_ZERO;

// Each test starts on a fresh simulator; a Streaming resets it again when it ends.
class Sim : public ::testing::Test {
protected:
    void SetUp() override { e16sim_reset(); }
};

int32_t CodeOf(uint32_t word) {
    return static_cast<int32_t>(word << 8) >> 8;
}

// Each ADC word carries its logical channel, mode and code. X502_ProcessAdcData
// takes whole kadrs in order without a search, yet still finds each word's
// channel when the stream is not in order: each value has the volts of its
// own word's code in its own channel's range.
TEST_F(Sim, AdcWordsCarryTheirChannelsSampleInVoltsOfItsRange) {
    e16sim_set_dc(1, 1.0); // X2; Y2 stays at -1.5 V
    const std::vector<Streaming::Channel> table = {{16, 0, 0}, {1, 1, 1}, {3, 2, 2}, {30, 0, 3}};
    Streaming stream(table, 400000.0);
    const std::vector<uint32_t> words = stream.Receive(8);
    const int32_t codes[] = {-1050000, 6000000, 0, 6144000}; // -1.75 V, 2.5 V, 0 V, clipped 1.75 V
    for (uint32_t i = 0; i < 8; ++i) {
        SCOPED_TRACE(testing::Message() << "word " << i << ": 0x" << std::hex << words[i]);
        EXPECT_EQ(
            std::tuple(words[i] >> 31, (words[i] >> 24) & 0xFu, (words[i] >> 28) & 3u, CodeOf(words[i])),
            std::tuple(1u, i % 4, table[i % 4].mode, codes[i % 4]))
            << "the ADC word's mark, logical channel, mode and code";
    }
    EXPECT_THAT(stream.Process(words),
                testing::Pointwise(testing::DoubleEq(), {-1.75, 2.5, 0.0, 0.16, -1.75, 2.5, 0.0, 0.16}))
        << "0.16 = 1.024 x 0.15625 V";
    EXPECT_EQ(stream.Process({words[0]}, 0), std::vector<double>{-1050000.0})
        << "without the volts flag: codes";
    const double fullScale[] = {10.0, 2.5, 0.625, 0.15625};
    std::vector<uint32_t> lost = words, digital = words;
    lost.erase(lost.begin() + 5);
    digital.insert(digital.begin() + 2, 0x1234u);
    const std::pair<const char*, std::vector<uint32_t>> cases[] = {
        {"a word lost", lost},
        {"a digital word among them", digital},
        {"starting mid-kadr", {words.begin() + 2, words.end()}},
    };
    for (const auto& [name, taken] : cases) {
        SCOPED_TRACE(name);
        std::vector<double> expected;
        for (const uint32_t w : taken)
            if (w & 0x80000000u) expected.push_back(CodeOf(w) * fullScale[table[(w >> 24) & 3u].range] / 6e6);
        EXPECT_THAT(stream.Process(taken), testing::Pointwise(testing::DoubleEq(), expected));
    }
}

// A rate becomes 48 MHz over a whole divider, rounded up only from 0.51 of
// a step; the same rule makes the frame delay, in ticks after the frame's
// conversions. Dividers that are not whole numbers find a wrong rounding.
TEST_F(Sim, RatesRoundToAWholeDividerUpOnlyPastHalfAStep) {
    Streaming module({{0, 0, 0}, {0, 0, 0}}, 0); // not started
    // 48 MHz over the rate asked, the divider taken; 48 MHz over the frame rate
    // asked, the frame's ticks taken (2 dividers and the delay).
    const std::tuple<double, double, double, double> cases[] = {
        {100.0, 100, 400.0, 400},   {100.3, 100, 400.3, 400},  {100.5, 100, 400.5, 400},
        {100.52, 101, 400.52, 401}, {99.95, 100, 399.95, 400}, {1.2, 96, 150.0, 192},
    };
    for (const auto& [quotient, divider, frameQuotient, frameTicks] : cases) {
        SCOPED_TRACE(quotient);
        double rate = 48e6 / quotient, frame = 48e6 / frameQuotient;
        ASSERT_EQ(X502_SetAdcFreq(module.h, &rate, &frame), X502_ERR_OK);
        EXPECT_DOUBLE_EQ(rate, 48e6 / divider);
        EXPECT_DOUBLE_EQ(frame, 48e6 / frameTicks);
    }
}

// Y16's default ramp as the module codes it in range 0: -5 V + 0.01 V a frame.
int32_t RampCode(uint32_t frame) {
    return static_cast<int32_t>(std::lround((-5.0 + 0.01 * (frame % 1000)) / 10.0 * 6000000.0));
}

// Replaying 1000 frames repeats them exactly (X1's sine with them), and
// Y16's ramp runs on unbroken; without replay X1's sine moves on.
TEST_F(Sim, AReplayedStreamRepeatsItsFirstFramesWithTheRampUnbroken) {
    for (const uint32_t replay : {1000u, 0u}) {
        SCOPED_TRACE(replay);
        ASSERT_EQ(e16sim_set_replay(replay), 0);
        e16sim_set_time_scale(100);
        Streaming stream({{0, kComm, 0}, {31, kComm, 0}}, 400000.0);
        const std::vector<uint32_t> words = stream.Receive(2 * 2500);
        uint32_t repeats = 0;
        for (uint32_t frame = 0; frame < 2500; ++frame) {
            ASSERT_EQ(CodeOf(words[2 * frame + 1]), RampCode(frame)) << "frame " << frame;
            if (frame >= 1000) repeats += words[2 * frame] == words[2 * (frame - 1000)];
        }
        EXPECT_EQ(repeats, replay == 0 ? 0u : 1500u) << "X1's words a replay's length apart";
    }
    EXPECT_EQ(e16sim_set_replay(65537), -1);
}

// X1 and X2's default sines (0.5 V at 10 Hz, 1 V at 20 Hz), X1 against
// Y1's -1.75 V and Y16's ramp, to the code across several of the tracks'
// fresh starts and the ramp's turns, received in pieces of every size, whole
// frames and cut ones, so each word is worked out either way.
TEST_F(Sim, SignalsHoldTheirCodesWhateverTheReceivesSize) {
    e16sim_set_time_scale(100);
    Streaming stream({{0, kComm, 0}, {1, kComm, 0}, {0, kDiff, 0}, {31, kComm, 0}}, 400000.0);
    std::vector<uint32_t> words;
    for (uint32_t piece = 1; words.size() < 4 * 5000; piece = piece * 7 % 1999) {
        const std::vector<uint32_t> got = stream.Receive(piece);
        words.insert(words.end(), got.begin(), got.end());
    }
    constexpr double kTicksPerWord = 120, kTicksPerSecond = 48e6;
    for (uint32_t i = 0; i < 4 * 5000; ++i) {
        if (i % 4 == 3) {
            ASSERT_EQ(CodeOf(words[i]), RampCode(i / 4)) << "word " << i;
            continue;
        }
        const double t = i * kTicksPerWord / kTicksPerSecond, k = i % 4 == 1 ? 2 : 1;
        const double volts = 0.5 * k * std::sin(2 * M_PI * 10 * k * t) + (i % 4 == 2 ? 1.75 : 0);
        ASSERT_NEAR(CodeOf(words[i]), volts / 10.0 * 6000000.0, 1.0) << "word " << i;
    }
}

// Noise differs from sample to sample, at any two positions of a table of
// any length: X1 at the first and the 65th of each frame.
TEST_F(Sim, NoiseDiffersFromSampleToSample) {
    ASSERT_EQ(e16sim_set_noise(0, 0.0, 5.0), 0);
    Streaming stream(std::vector<Streaming::Channel>(65, {0, kComm, 0}), 500000.0);
    const std::vector<uint32_t> words = stream.Receive(65 * 20);
    int repeated = 0;
    for (std::size_t f = 0; f + 1 < 20; ++f)
        repeated += CodeOf(words[f * 65 + 64]) == CodeOf(words[(f + 1) * 65]);
    EXPECT_LT(repeated, 3) << "of 19 frames";
}

// Signals set while the stream runs show in the next words received, for a
// DC input read alone and a difference of two.
TEST_F(Sim, ASignalSetWhileStreamingShowsInTheNextWords) {
    e16sim_set_dc(0, 1.0);  // X1
    e16sim_set_dc(1, 2.0);  // X2
    e16sim_set_dc(17, 0.5); // Y2
    Streaming stream({{0, kComm, 0}, {1, kDiff, 0}, {5, kZero, 0}}, 300000.0);
    const auto codes = [&] {
        const std::vector<uint32_t> words = stream.Receive(3);
        return std::vector<int32_t>{CodeOf(words[0]), CodeOf(words[1]), CodeOf(words[2])};
    };
    EXPECT_EQ(codes(), (std::vector<int32_t>{600000, 900000, 0}));
    e16sim_set_dc(0, -2.0);
    e16sim_set_sine(17, 0.0, 1.0, 0.0, 1.0); // Y2: 1 V, as a sine of no amplitude
    EXPECT_EQ(codes(), (std::vector<int32_t>{-1200000, 600000, 0}));
}

// A static output level set while streaming shows from the sample taken after
// it, not in the words made later for samples taken before: X15 loops DAC1
// back, the digital inputs the outputs. Both run at 1000 words a second.
TEST_F(Sim, AStaticLevelShowsFromItsTimeOn) {
    for (const bool lines : {false, true}) {
        SCOPED_TRACE(lines ? "digital lines" : "DAC1");
        Streaming stream({{14, kComm, 0}}, 1000.0, [lines](t_x502_hnd h) {
            double rate = 1000.0;
            if (lines) { // instead of the ADC's
                EXPECT_EQ(X502_SetDinFreq(h, &rate), X502_ERR_OK);
                EXPECT_EQ(X502_StreamsDisable(h, X502_STREAM_ADC), X502_ERR_OK);
                EXPECT_EQ(X502_StreamsEnable(h, X502_STREAM_DIN), X502_ERR_OK);
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        ASSERT_EQ(lines ? X502_AsyncOutDig(stream.h, 0x00FF, 0)
                        : X502_AsyncOutDac(stream.h, 0, 5.0, X502_DAC_FLAGS_VOLT),
                  X502_ERR_OK);
        const std::vector<uint32_t> words = stream.Receive(1500); // made now
        const auto set = std::ranges::find_if(words, [lines](uint32_t word) {
            return lines ? (word & 0xFFFFu) == 0x00FF : CodeOf(word) > 2'000'000;
        });
        EXPECT_GE(set - words.begin(), 240) << "a level read before it was set";
        EXPECT_LE(set - words.begin(), 1400) << "or long after";
    }
}

// A start on an analog level sends frames from the first one at which the
// watched input meets the condition, an edge's with the frame before on the
// other side. X1 is a sine of 1 V, 1200 frames a period, watched at 0.45 V.
TEST_F(Sim, ALevelStartBeginsAtTheFirstFrameMeetingItsCondition) {
    const double pi = std::acos(-1.0);
    // The start mode, X1's phase, the first frame sent and whether it is above the level.
    const std::tuple<uint32_t, double, uint64_t, bool> cases[] = {
        {X502_SYNC_ADC_ABOVE_LEVEL, pi / 2, 0, true},    {X502_SYNC_ADC_ABOVE_LEVEL, -pi / 2, 390, true},
        {X502_SYNC_ADC_EDGE_RISE, pi / 2, 990, true},    {X502_SYNC_ADC_BELOW_LEVEL, -pi / 2, 0, false},
        {X502_SYNC_ADC_BELOW_LEVEL, pi / 2, 211, false}, {X502_SYNC_ADC_EDGE_FALL, -pi / 2, 811, false}};
    for (const auto& [mode, phase, frame, above] : cases) {
        SCOPED_TRACE(testing::Message() << "start mode " << mode << ", phase " << phase);
        e16sim_set_sine(0, 1.0, 10.0, phase, 0.0);
        Streaming stream({{0, kComm, 0}}, 12000.0, [mode = mode](t_x502_hnd h) {
            EXPECT_EQ(X502_SetSyncStartMode(h, mode), X502_ERR_OK);
            EXPECT_EQ(X502_SetAdcSyncStartValue(h, 0, kComm, 0, 0.45), X502_ERR_OK);
        });
        const int32_t code = CodeOf(stream.Receive(1)[0]);
        EXPECT_EQ(velmora::test::ModuleState().first_frame, frame);
        EXPECT_EQ(code, std::lround(std::sin(2 * pi * static_cast<double>(frame) / 1200 + phase) * 6e5))
            << "the first frame sent";
        EXPECT_EQ(code > 0.45 * 6e5, above);
    }
}

// A stop wakes a receive that waits for words at once, whatever its time-out:
// one held back by a stall, and one waiting for a level start that never
// comes on a clock 10000 times the module's, which makes frames faster than
// the watch could work each out.
TEST_F(Sim, AStopEndsAWaitingReceiveAtOnce) {
    for (const bool level : {false, true}) {
        SCOPED_TRACE(level ? "level start" : "stall");
        if (level) e16sim_set_time_scale(10000);
        Streaming stream({{0, 0, 0}}, level ? 500000.0 : 1000.0, [level](t_x502_hnd h) {
            if (!level) return;
            EXPECT_EQ(X502_SetSyncStartMode(h, X502_SYNC_ADC_ABOVE_LEVEL), X502_ERR_OK);
            EXPECT_EQ(X502_SetAdcSyncStartValue(h, 0, kComm, 0, 9.0), X502_ERR_OK);
        });
        ASSERT_EQ(level ? 0 : e16sim_fault_stall(E16SIM_MODULE_DAC, 1), 0) << "the stall";
        const auto began = std::chrono::steady_clock::now();
        auto received = std::async(std::launch::async, [&] {
            uint32_t words[16];
            return X502_Recv(stream.h, words, 16, 10000);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_EQ(X502_StreamsStop(stream.h), X502_ERR_OK);
        EXPECT_EQ(received.get(), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(2));
    }
}

} // namespace
} // namespace e16sim::test
