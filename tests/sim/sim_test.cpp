// What the other tests take from the simulated module on trust: the words of
// the input stream and their conversion to volts, the signals and the edge
// start, the module's clock, call counts and injected faults. The outputs,
// the flash, the frequencies and the detection record are checked through
// TE16, the engine, the driver and the hosts, which all run on the simulator.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <future>
#include <numbers>
#include <thread>
#include <vector>

#include "device/x502api.h"
#include "e16sim_control.h"
#include "test_support.h"

namespace e16sim::test {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kIpDac = 0x7F000001u;
constexpr uint32_t kIpNoDac = 0x7F000002u;
constexpr double kQuantum = 10.0 / 6000000.0; // one code on the 10 V range

struct Lch {
    uint32_t phy, mode, range;
};

// A reset simulator, and handles that are freed afterwards.
class SimTest : public ::testing::Test {
protected:
    void SetUp() override { e16sim_reset(); }
    void TearDown() override {
        for (t_x502_hnd h : handles_) X502_Free(h);
        e16sim_reset();
    }

    t_x502_hnd create() {
        handles_.push_back(X502_Create());
        EXPECT_NE(handles_.back(), nullptr);
        return handles_.back();
    }

    t_x502_hnd open(uint32_t ip = kIpDac) {
        t_x502_hnd h = create();
        EXPECT_EQ(E16_OpenByIpAddr(h, ip, 0, 10000), X502_ERR_OK);
        return h;
    }

    // Programs the table and the rate, enables the ADC stream and configures.
    static void program(t_x502_hnd h, const std::vector<Lch>& table, double fAcq) {
        for (uint32_t i = 0; i < table.size(); ++i) {
            ASSERT_EQ(X502_SetLChannel(h, i, table[i].phy, table[i].mode, table[i].range, 0), X502_ERR_OK);
        }
        ASSERT_EQ(X502_SetLChannelCount(h, static_cast<uint32_t>(table.size())), X502_ERR_OK);
        ASSERT_EQ(X502_SetAdcFreq(h, &fAcq, nullptr), X502_ERR_OK);
        ASSERT_EQ(X502_StreamsEnable(h, X502_STREAM_ADC), X502_ERR_OK);
        ASSERT_EQ(X502_Configure(h, 0), X502_ERR_OK);
    }

    // Receives exactly `count` words (or fewer if the stream fails or 5 s pass).
    static std::vector<uint32_t> receive(t_x502_hnd h, size_t count) {
        std::vector<uint32_t> words(count);
        size_t got = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (got < count && std::chrono::steady_clock::now() < deadline) {
            const int32_t n = X502_Recv(h, words.data() + got, static_cast<uint32_t>(count - got), 500);
            if (n < 0) break;
            got += static_cast<size_t>(n);
        }
        words.resize(got);
        return words;
    }

    static std::vector<double> toVolts(t_x502_hnd h, const std::vector<uint32_t>& words) {
        std::vector<double> volts(words.size());
        uint32_t size = static_cast<uint32_t>(words.size());
        EXPECT_EQ(X502_ProcessAdcData(h, words.data(), volts.data(), &size, X502_PROC_FLAGS_VOLT),
                  X502_ERR_OK);
        volts.resize(size);
        return volts;
    }

    // Y16's default signal at a frame.
    static double ramp(uint64_t frame) { return -5.0 + 0.01 * static_cast<double>(frame % 1000); }

    std::vector<t_x502_hnd> handles_;
};

TEST_F(SimTest, WordsCarryChannelModeAndClippedCode) {
    t_x502_hnd h = open();
    e16sim_set_dc(1, 1.0); // X2; Y2 stays at -1.5 V
    program(h, {{16, 0, 0}, {1, 1, 0}, {3, 2, 3}, {30, 0, 3}}, 400000.0);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    const auto words = receive(h, 8);
    ASSERT_EQ(words.size(), 8u);
    const int32_t codes[] = {-1050000, 1500000, 0, 6144000}; // -1.75 V, 2.5 V, 0 V, clipped 1.75 V
    const uint32_t modes[] = {0, 1, 2, 0};
    const double volts[] = {-1.75, 2.5, 0.0, 0.16}; // 0.16 = 1.024 x 0.15625 V
    const auto converted = toVolts(h, words);
    ASSERT_EQ(converted.size(), 8u);
    for (uint32_t i = 0; i < 8; ++i) {
        SCOPED_TRACE(testing::Message() << "word " << i << ": 0x" << std::hex << words[i]);
        EXPECT_TRUE(words[i] & 0x80000000u) << "not marked as an ADC word";
        EXPECT_EQ((words[i] >> 24) & 0xFu, i % 4) << "logical channel";
        EXPECT_EQ((words[i] >> 28) & 3u, modes[i % 4]) << "mode";
        EXPECT_EQ(static_cast<int32_t>(words[i] << 8) >> 8, codes[i % 4]) << "code";
        EXPECT_DOUBLE_EQ(converted[i], volts[i % 4]) << "volts";
    }
    double code = 0;
    uint32_t size = 1;
    ASSERT_EQ(X502_ProcessAdcData(h, words.data(), &code, &size, 0), X502_ERR_OK);
    EXPECT_EQ(code, codes[0]) << "without the volts flag: codes";
}

// A call may end inside a frame: the next goes on with the channel after the
// last word, skips digital words, and refuses a channel beyond the table.
TEST_F(SimTest, ProcessAdcDataKeepsTheChannelAcrossCalls) {
    ASSERT_EQ(e16sim_set_dc(31, 3.0), 0);
    ASSERT_EQ(e16sim_set_default_signal(31), 0); // Y16's ramp again
    t_x502_hnd h = open();
    program(h, {{16, 0, 0}, {20, 0, 1}, {31, 0, 0}}, 300000.0);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    auto words = receive(h, 6);
    ASSERT_EQ(words.size(), 6u);
    words.insert(words.begin() + 2, 0x00001234u); // a digital input word
    double volts[6] = {};
    uint32_t size = 2, next = 99;
    ASSERT_EQ(X502_ProcessAdcData(h, words.data() + 1, volts, &size, X502_PROC_FLAGS_VOLT), X502_ERR_OK);
    EXPECT_EQ(size, 1u) << "one value from an ADC and a digital word";
    EXPECT_DOUBLE_EQ(volts[0], -0.75) << "Y5 on the 2.5 V range, realigned on the channel bits";
    size = 4;
    ASSERT_EQ(X502_ProcessAdcData(h, words.data() + 3, volts + 1, &size, X502_PROC_FLAGS_VOLT), X502_ERR_OK);
    EXPECT_THAT(
        std::vector<double>(volts, volts + 1 + size),
        testing::Pointwise(testing::DoubleEq(), std::vector<double>{-0.75, ramp(0), -1.75, -0.75, ramp(1)}));
    ASSERT_EQ(X502_GetNextExpectedLchNum(h, &next), X502_ERR_OK);
    EXPECT_EQ(next, 0u) << "next channel after whole frames";
    const uint32_t stray[2] = {words[0], 0x85000000u}; // channel 5 is not in a 3-channel table
    size = 2;
    EXPECT_EQ(X502_ProcessAdcData(h, stray, volts, &size, X502_PROC_FLAGS_VOLT), X502_ERR_INVALID_LCH_NUMBER);
    EXPECT_EQ(size, 1u) << "values before the stray word";
}

// The worker's tests release a rising edge on TRIG; this one waits on INT.
TEST_F(SimTest, EdgeStartWaitsForItsEdge) {
    t_x502_hnd h = open();
    ASSERT_EQ(X502_SetSyncStartMode(h, X502_SYNC_SYN2_FALL), X502_ERR_OK);
    program(h, {{0, 0, 0}, {31, 0, 0}}, 20000.0);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    e16sim_fire_edge(E16SIM_INPUT_INT, 1);  // wrong direction
    e16sim_fire_edge(E16SIM_INPUT_TRIG, 0); // wrong input
    std::vector<uint32_t> words(20);
    EXPECT_EQ(X502_Recv(h, words.data(), 20, 30), 0) << "words before the edge";
    e16sim_state state{};
    e16sim_get_state(E16SIM_MODULE_DAC, &state);
    EXPECT_EQ(state.stream_state, E16SIM_STREAM_WAIT_EDGE);
    auto pending = std::async(std::launch::async, [&] { return X502_Recv(h, words.data(), 20, 5000); });
    std::this_thread::sleep_for(20ms);
    e16sim_fire_edge(E16SIM_INPUT_INT, 0);
    ASSERT_EQ(pending.wait_for(5s), std::future_status::ready);
    ASSERT_EQ(pending.get(), 20);
    const auto volts = toVolts(h, words);
    EXPECT_DOUBLE_EQ(volts[0], 0.0) << "the sine starts at the edge";
    EXPECT_DOUBLE_EQ(volts[1], -5.0) << "the frame count starts at the edge";
}

TEST_F(SimTest, TheTimeScaleComesFromTheControlOrTheEnvironmentAndIsKeptInRange) {
    EXPECT_EQ(e16sim_get_time_scale(), 1u);
    for (const uint32_t outside : {0u, 10001u}) EXPECT_EQ(e16sim_set_time_scale(outside), -1) << outside;
    EXPECT_EQ(e16sim_set_time_scale(250), 0);
    EXPECT_EQ(e16sim_get_time_scale(), 250u);
    for (const auto& [text, factor] : {std::pair{"7", 7u}, {"0", 1u}, {"3x", 1u}}) {
        velmora::test::ScopedEnv env("E16SIM_TIME_SCALE", text);
        e16sim_reset();
        EXPECT_EQ(e16sim_get_time_scale(), factor) << "E16SIM_TIME_SCALE=" << text;
    }
}

// At 1000 times speed, every code within one step of the formula's, over
// many resynchronisations of the frame-by-frame sines, for common and
// differential channels, and after a signal is changed while the stream runs.
TEST_F(SimTest, FrameByFrameSinesFollowTheirFormula) {
    ASSERT_EQ(e16sim_set_time_scale(1000), 0);
    ASSERT_EQ(e16sim_set_sine(18, 1.5, 333.3, 0.7, -0.25), 0); // Y3 against X3 in the differential channel
    t_x502_hnd h = open();
    program(h, {{13, 0, 0}, {2, 1, 0}, {0, 0, 1}}, 480000.0);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    const auto sine = [](double a, double hz, double phase, double offset, double t) {
        return offset + a * std::sin(2 * std::numbers::pi * hz * t + phase);
    };
    uint64_t frame = 0;
    std::chrono::steady_clock::duration receiving{};
    auto check = [&](uint64_t frames, double y3Hz) {
        const auto start = std::chrono::steady_clock::now();
        const auto volts = toVolts(h, receive(h, 3 * frames));
        receiving = std::chrono::steady_clock::now() - start;
        ASSERT_EQ(volts.size(), 3 * frames);
        for (uint64_t k = 0; k < frames; ++k, ++frame) {
            const auto at = [&](int pos) { return static_cast<double>(3 * frame + pos) * 100.0 / 48e6; };
            const double want[3] = {sine(7.0, 140.0, 0.0, 0.0, at(0)),
                                    sine(1.5, 30.0, 0.0, 0.0, at(1)) - sine(1.5, y3Hz, 0.7, -0.25, at(1)),
                                    sine(0.5, 10.0, 0.0, 0.0, at(2))};
            for (int pos = 0; pos < 3; ++pos)
                ASSERT_NEAR(volts[3 * k + pos], want[pos], (pos == 2 ? 0.25 : 1.0) * kQuantum * 1.0001)
                    << "frame " << frame << ", position " << pos;
        }
    };
    check(400000, 333.3);
    EXPECT_LT(receiving, std::chrono::milliseconds(1500)) << "2.5 s of the module's time at 1000 times speed";
    ASSERT_EQ(e16sim_set_sine(18, 1.5, 50.0, 0.7, -0.25), 0); // words are made when received
    check(20000, 50.0);
}

// The fault controls every fault test relies on: a failing call heals, and
// an open can be refused with a code of the test's choosing.
TEST_F(SimTest, CallsAreCountedAndCanBeMadeToFail) {
    t_x502_hnd h = open();
    EXPECT_EQ(e16sim_call_count("X502_NoSuchCall"), -1);
    EXPECT_EQ(e16sim_fault_fail_call("Nothing", -1), -1);
    EXPECT_EQ(e16sim_set_dc(32, 1.0), -1) << "an input beyond Y16";
    ASSERT_EQ(e16sim_fault_fail_call("X502_SetMode", -77), 0);
    EXPECT_EQ(X502_SetMode(h, 0), -77);
    ASSERT_EQ(e16sim_fault_fail_call("X502_SetMode", 0), 0);
    EXPECT_EQ(X502_SetMode(h, 1), X502_ERR_INVALID_MODE) << "a healed call checks its argument again";
    EXPECT_EQ(e16sim_call_count("X502_SetMode"), 2);
    e16sim_fault_refuse_open(1);
    EXPECT_EQ(E16_OpenByIpAddr(create(), kIpNoDac, 0, 10000), X502_ERR_CONNECTION_REFUSED);
    e16sim_fault_refuse_open(-55);
    EXPECT_EQ(E16_OpenByIpAddr(create(), kIpNoDac, 0, 10000), -55);
    e16sim_fault_refuse_open(0);
    EXPECT_EQ(E16_OpenByIpAddr(create(), kIpNoDac, 0, 10000), X502_ERR_OK) << "refusal switched off";
}

} // namespace
} // namespace e16sim::test
