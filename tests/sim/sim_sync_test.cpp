// Start synchronization: digital edges fired through the control API and
// analog levels on a watched input.
#include <future>
#include <thread>

#include "sim_fixture.h"

namespace e16sim::test {
namespace {

using namespace std::chrono_literals;

int32_t streamState() {
    e16sim_state state{};
    EXPECT_EQ(e16sim_get_state(E16SIM_MODULE_DAC, &state), 0);
    return state.stream_state;
}

uint64_t firstFrame() {
    e16sim_state state{};
    EXPECT_EQ(e16sim_get_state(E16SIM_MODULE_DAC, &state), 0);
    return state.first_frame;
}

// X1 as the default wiring drives it, as the 10 V range reads it.
double x1At(uint64_t frame, double frameFreq) {
    return adcVolts(0.5 * std::sin(2 * std::numbers::pi * 10 * (static_cast<double>(frame) / frameFreq)), 0);
}

TEST_F(SimTest, EdgeStartWaitsForTheMatchingEdge) {
    t_x502_hnd h = open();
    ASSERT_EQ(X502_SetSyncStartMode(h, X502_SYNC_SYN1_RISE), X502_ERR_OK);
    program(h, {{0, 0, 0}, {31, 0, 0}}, 20000.0);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    std::vector<uint32_t> words(20);
    EXPECT_EQ(X502_Recv(h, words.data(), 20, 30), 0);
    e16sim_fire_edge(E16SIM_INPUT_INT, 1);
    e16sim_fire_edge(E16SIM_INPUT_TRIG, 0);
    EXPECT_EQ(streamState(), E16SIM_STREAM_WAIT_EDGE);
    uint32_t ready = 1;
    ASSERT_EQ(X502_GetRecvReadyCount(h, &ready), X502_ERR_OK);
    EXPECT_EQ(ready, 0u);

    auto pending =
        std::async(std::launch::async, [h, &words] { return X502_Recv(h, words.data(), 20, 5000); });
    std::this_thread::sleep_for(20ms);
    e16sim_fire_edge(E16SIM_INPUT_TRIG, 1);
    ASSERT_EQ(pending.wait_for(5s), std::future_status::ready);
    ASSERT_EQ(pending.get(), 20);
    EXPECT_EQ(streamState(), E16SIM_STREAM_RUNNING);
    const auto volts = toVolts(h, words);
    EXPECT_DOUBLE_EQ(volts[0], 0.0);  // the sine starts at the edge
    EXPECT_DOUBLE_EQ(volts[1], -5.0); // and so does the frame count
    EXPECT_NEAR(volts[3], ramp(1), kQuantum);
}

TEST_F(SimTest, IntFallingEdgeStartsItsMode) {
    t_x502_hnd h = open();
    ASSERT_EQ(X502_SetSyncStartMode(h, X502_SYNC_SYN2_FALL), X502_ERR_OK);
    program(h, {{31, 0, 0}}, 10000.0);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    e16sim_fire_edge(E16SIM_INPUT_INT, 1);
    EXPECT_EQ(streamState(), E16SIM_STREAM_WAIT_EDGE);
    e16sim_fire_edge(E16SIM_INPUT_INT, 0);
    EXPECT_EQ(receive(h, 10).size(), 10u);
}

TEST_F(SimTest, ExternalClockWithoutAClockDeliversNothing) {
    t_x502_hnd h = open();
    ASSERT_EQ(X502_SetSyncMode(h, X502_SYNC_SYN1_RISE), X502_ERR_OK);
    program(h, {{31, 0, 0}}, 10000.0);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    EXPECT_EQ(streamState(), E16SIM_STREAM_NO_CLOCK);
    std::vector<uint32_t> words(10);
    EXPECT_EQ(X502_Recv(h, words.data(), 10, 20), 0);
}

// Starts on X1 (0.5 V at 10 Hz) with the condition and returns the first frame.
struct LevelStart {
    uint32_t mode;
    double level;
};

class LevelStartTest : public SimTest, public ::testing::WithParamInterface<LevelStart> {};

TEST_P(LevelStartTest, FirstFrameIsWhereTheConditionBecomesTrue) {
    const LevelStart p = GetParam();
    const double frameFreq = 10000.0;
    t_x502_hnd h = open();
    ASSERT_EQ(X502_SetSyncStartMode(h, p.mode), X502_ERR_OK);
    ASSERT_EQ(X502_SetAdcSyncStartValue(h, 0, X502_LCH_MODE_COMM, 0, p.level), X502_ERR_OK);
    program(h, {{0, 0, 0}, {31, 0, 0}}, 2 * frameFreq);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    const auto volts = toVolts(h, receive(h, 4));
    ASSERT_EQ(volts.size(), 4u);
    const uint64_t first = firstFrame();
    const double now = x1At(first, frameFreq);
    EXPECT_DOUBLE_EQ(volts[0], now);
    EXPECT_NEAR(volts[1], ramp(first), kQuantum);
    EXPECT_NEAR(volts[3], ramp(first + 1), kQuantum);
    const double before = first > 0 ? x1At(first - 1, frameFreq) : std::nan("");
    switch (p.mode) {
    case X502_SYNC_ADC_ABOVE_LEVEL:
        EXPECT_GT(now, p.level);
        if (first > 0) {
            EXPECT_LE(before, p.level);
        }
        break;
    case X502_SYNC_ADC_BELOW_LEVEL:
        EXPECT_LT(now, p.level);
        if (first > 0) {
            EXPECT_GE(before, p.level);
        }
        break;
    case X502_SYNC_ADC_EDGE_RISE:
        EXPECT_GT(now, p.level);
        EXPECT_LE(before, p.level);
        break;
    case X502_SYNC_ADC_EDGE_FALL:
        EXPECT_LT(now, p.level);
        EXPECT_GE(before, p.level);
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(Conditions, LevelStartTest,
                         ::testing::Values(LevelStart{X502_SYNC_ADC_EDGE_RISE,
                                                      -0.25}, // at 91.7 ms, not at once
                                           LevelStart{X502_SYNC_ADC_EDGE_FALL, 0.25},  // at 41.7 ms
                                           LevelStart{X502_SYNC_ADC_ABOVE_LEVEL, 0.4}, // at 14.8 ms
                                           LevelStart{X502_SYNC_ADC_BELOW_LEVEL, 0.1}  // at once
                                           ));

TEST_F(SimTest, RisingCrossingOfTheDefaultSineIsAtFrame84) {
    // 0.5 sin(2 pi 10 t) passes 0.25 V upwards at t = 1/120 s, between frames 83 and 84 at 10 kHz.
    t_x502_hnd h = open();
    ASSERT_EQ(X502_SetSyncStartMode(h, X502_SYNC_ADC_EDGE_RISE), X502_ERR_OK);
    ASSERT_EQ(X502_SetAdcSyncStartValue(h, 0, X502_LCH_MODE_COMM, 0, 0.25), X502_ERR_OK);
    program(h, {{31, 0, 0}}, 10000.0);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    const auto volts = toVolts(h, receive(h, 1));
    ASSERT_EQ(volts.size(), 1u);
    EXPECT_NEAR(volts[0], ramp(84), kQuantum);
}

TEST_F(SimTest, LevelNeverReachedMeansNoData) {
    t_x502_hnd h = open();
    ASSERT_EQ(X502_SetSyncStartMode(h, X502_SYNC_ADC_ABOVE_LEVEL), X502_ERR_OK);
    ASSERT_EQ(X502_SetAdcSyncStartValue(h, 16, X502_LCH_MODE_COMM, 0, 0.0), X502_ERR_OK); // Y1 is -1.75 V
    program(h, {{31, 0, 0}}, 10000.0);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    std::vector<uint32_t> words(10);
    EXPECT_EQ(X502_Recv(h, words.data(), 10, 30), 0);
    EXPECT_EQ(streamState(), E16SIM_STREAM_WAIT_LEVEL);
    e16sim_set_dc(16, 0.5); // the level is reached from now on
    EXPECT_EQ(receive(h, 10).size(), 10u);
}

} // namespace
} // namespace e16sim::test
