// The input stream: word format, conversion to volts, timing, overflow,
// waking receivers, single frames and the stream faults.
#include <future>
#include <thread>

#include "sim_fixture.h"

namespace e16sim::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST_F(SimTest, WordsCarryChannelModeAndClippedCode) {
    t_x502_hnd h = open();
    e16sim_set_dc(1, 1.0); // X2; Y2 stays at -1.5 V
    program(h, {{16, 0, 0}, {1, 1, 0}, {3, 2, 3}, {30, 0, 3}}, 400000.0);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    const auto words = receive(h, 8);
    ASSERT_EQ(words.size(), 8u);
    const int32_t expectCodes[] = {-1050000, 1500000, 0, 6144000}; // -1.75 V, 2.5 V, 0 V, clipped 1.75 V
    const uint32_t expectModes[] = {0, 1, 2, 0};
    for (uint32_t i = 0; i < 8; ++i) {
        const uint32_t w = words[i];
        EXPECT_TRUE(w & 0x80000000u);
        EXPECT_EQ((w >> 24) & 0xFu, i % 4);
        EXPECT_EQ((w >> 28) & 3u, expectModes[i % 4]);
        const int32_t code = static_cast<int32_t>(w << 8) >> 8;
        EXPECT_EQ(code, expectCodes[i % 4]) << i;
    }
    const auto volts = toVolts(h, words);
    ASSERT_EQ(volts.size(), 8u);
    EXPECT_DOUBLE_EQ(volts[0], -1.75);
    EXPECT_DOUBLE_EQ(volts[1], 2.5);
    EXPECT_DOUBLE_EQ(volts[2], 0.0);
    EXPECT_DOUBLE_EQ(volts[3], 0.16); // 1.024 x 0.15625 V
}

TEST_F(SimTest, ChannelBitsHoldTheLowFourBitsOfTheLogicalChannel) {
    t_x502_hnd h = open();
    std::vector<Lch> table;
    for (uint32_t i = 0; i < 18; ++i) table.push_back({16 + (i % 15), 0, 0}); // Y1..Y15, DC levels
    program(h, table, 500000.0);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    const auto words = receive(h, 36);
    ASSERT_EQ(words.size(), 36u);
    EXPECT_EQ((words[17] >> 24) & 0xFu, 1u);
    EXPECT_EQ((words[18] >> 24) & 0xFu, 0u);
    const auto volts = toVolts(h, words);
    ASSERT_EQ(volts.size(), 36u);
    for (uint32_t i = 0; i < 36; ++i) EXPECT_DOUBLE_EQ(volts[i], ((i % 18) % 15 + 1 - 8.0) * 0.25) << i;
}

TEST_F(SimTest, ProcessAdcDataContinuesTheFrameAcrossCalls) {
    t_x502_hnd h = open();
    program(h, {{16, 0, 0}, {20, 0, 1}, {31, 0, 0}}, 300000.0);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    auto words = receive(h, 9);
    ASSERT_EQ(words.size(), 9u);
    words.insert(words.begin() + 2, 0x00001234u); // a digital input word is skipped
    double volts[10] = {};
    uint32_t size = 4;
    ASSERT_EQ(X502_ProcessAdcData(h, words.data(), volts, &size, X502_PROC_FLAGS_VOLT), X502_ERR_OK);
    EXPECT_EQ(size, 3u);
    uint32_t next = 99;
    ASSERT_EQ(X502_GetNextExpectedLchNum(h, &next), X502_ERR_OK);
    EXPECT_EQ(next, 0u);
    size = 6;
    ASSERT_EQ(X502_ProcessAdcData(h, words.data() + 4, volts + 3, &size, X502_PROC_FLAGS_VOLT), X502_ERR_OK);
    EXPECT_EQ(size, 6u);
    ASSERT_EQ(X502_GetNextExpectedLchNum(h, &next), X502_ERR_OK);
    EXPECT_EQ(next, 0u);
    for (uint32_t k = 0; k < 3; ++k) {
        EXPECT_DOUBLE_EQ(volts[3 * k], -1.75);
        EXPECT_DOUBLE_EQ(volts[3 * k + 1], -0.75); // Y5 on the 2.5 V range
        EXPECT_DOUBLE_EQ(volts[3 * k + 2], ramp(k));
    }
    size = 2;
    ASSERT_EQ(X502_ProcessAdcData(h, words.data(), volts, &size, 0), X502_ERR_OK);
    EXPECT_DOUBLE_EQ(volts[0], -1050000.0); // without the volts flag: codes
    ASSERT_EQ(X502_GetNextExpectedLchNum(h, &next), X502_ERR_OK);
    EXPECT_EQ(next, 2u);
}

TEST_F(SimTest, ProcessAdcDataRealignsOnTheChannelBits) {
    t_x502_hnd h = open();
    program(h, {{16, 0, 0}, {20, 0, 1}, {31, 0, 0}}, 300000.0);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    const auto words = receive(h, 6);
    ASSERT_EQ(words.size(), 6u);
    double volts[6] = {};
    uint32_t size = 5; // picked up in the middle of the first frame
    ASSERT_EQ(X502_ProcessAdcData(h, words.data() + 1, volts, &size, X502_PROC_FLAGS_VOLT), X502_ERR_OK);
    EXPECT_EQ(size, 5u);
    EXPECT_DOUBLE_EQ(volts[0], -0.75); // range of channel 1, not of channel 0
    EXPECT_DOUBLE_EQ(volts[2], -1.75);
    const uint32_t stray[2] = {words[0], 0x85000000u}; // channel 5 is not in a 3-channel table
    size = 2;
    EXPECT_EQ(X502_ProcessAdcData(h, stray, volts, &size, X502_PROC_FLAGS_VOLT), X502_ERR_INVALID_LCH_NUMBER);
    EXPECT_EQ(size, 1u);
}

TEST_F(SimTest, ControlApiSetsTheInputSignals) {
    t_x502_hnd h = open();
    ASSERT_EQ(e16sim_set_sine(0, 2.0, 50.0, std::numbers::pi / 2, 1.0), 0);
    ASSERT_EQ(e16sim_set_noise(1, 0.5, 0.1), 0);
    ASSERT_EQ(e16sim_set_ramp(2, 1.0, 0.5, 4), 0);
    ASSERT_EQ(e16sim_set_dc(31, 3.0), 0);
    ASSERT_EQ(e16sim_set_default_signal(31), 0);
    EXPECT_EQ(e16sim_set_dc(32, 1.0), -1);
    program(h, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {31, 0, 0}}, 400000.0);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    const auto volts = toVolts(h, receive(h, 4 * 400));
    ASSERT_EQ(volts.size(), 1600u);
    double least = 1e9;
    double most = -1e9;
    for (size_t k = 0; k < 400; ++k) {
        const double t = static_cast<double>(k) / 100000.0;
        EXPECT_NEAR(volts[4 * k], 1.0 + 2.0 * std::cos(2 * std::numbers::pi * 50 * t), kQuantum) << k;
        least = std::min(least, volts[4 * k + 1]);
        most = std::max(most, volts[4 * k + 1]);
        EXPECT_NEAR(volts[4 * k + 2], 1.0 + 0.5 * static_cast<double>(k % 4), kQuantum) << k;
        EXPECT_NEAR(volts[4 * k + 3], ramp(k), kQuantum) << k;
    }
    EXPECT_GE(least, 0.4 - kQuantum);
    EXPECT_LE(most, 0.6 + kQuantum);
    EXPECT_GT(most - least, 0.15); // it does vary
}

TEST_F(SimTest, StreamRunsAtTheProgrammedRateWithAnUnbrokenRamp) {
    t_x502_hnd h = open();
    ASSERT_EQ(X502_SetStreamStep(h, 0, 4096), X502_ERR_OK);
    program(h, {{0, 0, 0}, {31, 0, 0}}, 400000.0); // 200000 frames per second
    const auto before = Clock::now();
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    const auto after = Clock::now();
    std::this_thread::sleep_for(300ms);
    const auto askedFrom = Clock::now();
    uint32_t ready = 0;
    ASSERT_EQ(X502_GetRecvReadyCount(h, &ready), X502_ERR_OK);
    const auto askedTo = Clock::now();
    const double least = std::chrono::duration<double>(askedFrom - after).count() * 400000.0;
    const double most = std::chrono::duration<double>(askedTo - before).count() * 400000.0 + 2;
    EXPECT_GE(ready, least);
    EXPECT_LE(ready, most);

    const auto words = receive(h, ready);
    ASSERT_EQ(words.size(), ready);
    const auto volts = toVolts(h, words);
    for (size_t k = 0; k < volts.size() / 2; ++k) {
        const double t = static_cast<double>(k) / 200000.0;
        ASSERT_NEAR(volts[2 * k], 0.5 * std::sin(2 * std::numbers::pi * 10 * t), kQuantum) << k;
        ASSERT_NEAR(volts[2 * k + 1], ramp(k), kQuantum) << k;
    }
}

TEST_F(SimTest, OverflowIsReportedAfterTheBufferedWords) {
    t_x502_hnd h = open();
    ASSERT_EQ(X502_SetStreamBufSize(h, 0, 2048), X502_ERR_OK);
    program(h, {{31, 0, 0}}, 500000.0);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    std::this_thread::sleep_for(20ms); // 10000 words for a 2048-word buffer
    std::vector<uint32_t> words(4096);
    size_t got = 0;
    int32_t n = 0;
    while ((n = X502_Recv(h, words.data() + got, 1000, 100)) > 0) got += static_cast<size_t>(n);
    EXPECT_EQ(n, X502_ERR_STREAM_OVERFLOW);
    EXPECT_EQ(got, 2048u);
    uint32_t ready = 0;
    EXPECT_EQ(X502_GetRecvReadyCount(h, &ready), X502_ERR_STREAM_OVERFLOW);
    // A restart clears it.
    ASSERT_EQ(X502_StreamsStop(h), X502_ERR_OK);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    EXPECT_EQ(receive(h, 100).size(), 100u);
}

TEST_F(SimTest, RecvWaitsForAStepAndReturnsWhatItHasAtTheTimeout) {
    t_x502_hnd h = open();
    ASSERT_EQ(X502_SetStreamStep(h, 0, 1000), X502_ERR_OK);
    program(h, {{16, 0, 0}}, 1000.0); // 1000 words per second
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    std::vector<uint32_t> words(1000);
    const int32_t partial = X502_Recv(h, words.data(), 1000, 60);
    EXPECT_GT(partial, 0);
    EXPECT_LT(partial, 1000);
    EXPECT_EQ(X502_Recv(h, words.data(), 0, 1000), 0);
    ASSERT_EQ(X502_StreamsStop(h), X502_ERR_OK);
    EXPECT_EQ(X502_Recv(h, words.data(), 10, 10), X502_ERR_STREAM_IS_NOT_RUNNING);
}

TEST_F(SimTest, StreamsStopWakesAWaitingRecv) {
    t_x502_hnd h = open();
    program(h, {{16, 0, 0}}, 100.0); // slow: 10000 words take a minute and a half
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    auto pending = std::async(std::launch::async, [h] {
        std::vector<uint32_t> words(10000);
        return X502_Recv(h, words.data(), 10000, 60000);
    });
    std::this_thread::sleep_for(50ms);
    ASSERT_EQ(X502_StreamsStop(h), X502_ERR_OK);
    ASSERT_EQ(pending.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(pending.get(), 0);
}

TEST_F(SimTest, AsyncFrameReadsTheTableOnlyOutsideTheStream) {
    t_x502_hnd h = open();
    program(h, {{16, 0, 0}, {22, 0, 2}, {1, 1, 0}}, 1000.0);
    double frame[3] = {};
    ASSERT_EQ(X502_AsyncGetAdcFrame(h, X502_PROC_FLAGS_VOLT, 150, frame), X502_ERR_OK);
    EXPECT_DOUBLE_EQ(frame[0], -1.75);
    EXPECT_DOUBLE_EQ(frame[1], -0.25);
    EXPECT_NEAR(frame[2], 1.5, 1.0 + kQuantum); // X2 - Y2: a 1 V sine on 1.5 V
    ASSERT_EQ(X502_AsyncGetAdcFrame(h, 0, 150, frame), X502_ERR_OK);
    EXPECT_DOUBLE_EQ(frame[0], -1050000.0);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    EXPECT_EQ(X502_AsyncGetAdcFrame(h, 1, 150, frame), X502_ERR_STREAM_IS_RUNNING);
    ASSERT_EQ(X502_StreamsStop(h), X502_ERR_OK);

    std::vector<Lch> slow(32, Lch{16, 0, 0});
    program(h, slow, 1.0); // 32 conversions at 45.8 Hz take 0.7 s
    std::vector<double> many(32);
    EXPECT_EQ(X502_AsyncGetAdcFrame(h, 1, 20, many.data()), X502_ERR_ASYNC_TIMEOUT);
}

TEST_F(SimTest, StallHoldsDataBackUntilCleared) {
    t_x502_hnd h = open();
    ASSERT_EQ(e16sim_fault_stall(E16SIM_MODULE_DAC, 1), 0);
    program(h, {{31, 0, 0}}, 100000.0);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    std::vector<uint32_t> words(100);
    EXPECT_EQ(X502_Recv(h, words.data(), 100, 30), 0);
    uint32_t ready = 1;
    ASSERT_EQ(X502_GetRecvReadyCount(h, &ready), X502_ERR_OK);
    EXPECT_EQ(ready, 0u);
    ASSERT_EQ(e16sim_fault_stall(E16SIM_MODULE_DAC, 0), 0);
    const auto volts = toVolts(h, receive(h, 100));
    ASSERT_EQ(volts.size(), 100u);
    for (size_t k = 0; k < volts.size(); ++k) EXPECT_NEAR(volts[k], ramp(k), kQuantum);
}

TEST_F(SimTest, DisconnectAfterNWordsLosesTheConnection) {
    t_x502_hnd h = open();
    ASSERT_EQ(e16sim_fault_disconnect_after(E16SIM_MODULE_DAC, 500), 0);
    program(h, {{31, 0, 0}}, 100000.0);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    std::vector<uint32_t> words(300);
    size_t got = 0;
    int32_t n = 0;
    while ((n = X502_Recv(h, words.data(), 300, 1000)) > 0) got += static_cast<size_t>(n);
    EXPECT_EQ(got, 500u);
    EXPECT_EQ(n, X502_ERR_CONNECTION_LOST);
    EXPECT_EQ(X502_StreamsStop(h), X502_ERR_CONNECTION_LOST);
    EXPECT_EQ(X502_Close(h), X502_ERR_OK);
    ASSERT_EQ(E16_OpenByIpAddr(h, kIpDac, 0, 10000), X502_ERR_OK); // the fault fired once
    program(h, {{31, 0, 0}}, 100000.0);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    EXPECT_EQ(receive(h, 600).size(), 600u);
}

} // namespace
} // namespace e16sim::test
