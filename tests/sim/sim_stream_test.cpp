// The input stream: word format, conversion to volts, the input signals and
// the edge start; the outputs: static DAC levels, the cyclic and the
// preloaded streams; the flash memory; the module's clock, faster than the
// wall clock, and sines made frame by frame that still follow their formula
// over long runs. Overflow and a lost link are TE16's tests, a stop waking the
// receive the worker's.
#include <gmock/gmock.h>

#include <functional>
#include <future>
#include <thread>

#include "sim_fixture.h"
#include "test_support.h"

namespace e16sim::test {
namespace {

using namespace std::chrono_literals;

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

TEST_F(SimTest, InputSignalsDefaultAndSet) {
    const auto sine = [](double k, double t) {
        return 0.5 * k * std::sin(2 * std::numbers::pi * 10 * k * t);
    };
    struct Case {
        Lch lch;
        std::function<double(double t, uint64_t frame)> volts;
    };
    const std::vector<Case> cases = {
        {{0, 0, 0}, [&](double t, uint64_t) { return sine(1, t); }},
        {{13, 0, 0}, [&](double t, uint64_t) { return sine(14, t); }},
        {{14, 0, 0}, [](double, uint64_t) { return 0.0; }},   // X15: DAC1 at rest
        {{16, 0, 0}, [](double, uint64_t) { return -1.75; }}, // Y k: (k - 8) x 0.25 V
        {{30, 0, 0}, [](double, uint64_t) { return 1.75; }},
        {{31, 0, 0}, [](double, uint64_t n) { return ramp(n); }},
        {{2, 1, 0}, [&](double t, uint64_t) { return sine(3, t) + 1.25; }}, // X3 - Y3
        {{5, 2, 0}, [](double, uint64_t) { return 0.0; }},                  // zero measurement
        {{1, 0, 0}, [](double t, uint64_t) { return 1.0 + 2.0 * std::cos(2 * std::numbers::pi * 50 * t); }},
        {{3, 0, 0}, [](double, uint64_t n) { return 1.0 + 0.5 * static_cast<double>(n % 4); }},
    };
    ASSERT_EQ(e16sim_set_sine(1, 2.0, 50.0, std::numbers::pi / 2, 1.0), 0);
    ASSERT_EQ(e16sim_set_ramp(3, 1.0, 0.5, 4), 0);
    ASSERT_EQ(e16sim_set_dc(31, 3.0), 0);
    ASSERT_EQ(e16sim_set_default_signal(31), 0);
    EXPECT_EQ(e16sim_set_dc(32, 1.0), -1) << "an input beyond Y16";
    std::vector<Lch> table;
    for (const Case& c : cases) table.push_back(c.lch);
    t_x502_hnd h = open();
    program(h, table, 100000.0); // each conversion at its own time
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    const auto volts = toVolts(h, receive(h, cases.size() * 500));
    ASSERT_EQ(volts.size(), cases.size() * 500);
    for (uint64_t n = 0; n < 500; ++n) {
        for (size_t i = 0; i < cases.size(); ++i) {
            const double want = cases[i].volts(static_cast<double>(n * cases.size() + i) / 100000.0, n);
            ASSERT_NEAR(volts[n * cases.size() + i], want, kQuantum) << "frame " << n << " lch " << i;
        }
    }
}

TEST_F(SimTest, EdgeStartWaitsForItsEdge) {
    struct Case {
        uint32_t mode, input;
        int32_t rising;
    };
    for (const Case& c :
         {Case{X502_SYNC_SYN1_RISE, E16SIM_INPUT_TRIG, 1}, Case{X502_SYNC_SYN2_FALL, E16SIM_INPUT_INT, 0}}) {
        SCOPED_TRACE(testing::Message() << "sync mode " << c.mode);
        e16sim_reset();
        t_x502_hnd h = open();
        ASSERT_EQ(X502_SetSyncStartMode(h, c.mode), X502_ERR_OK);
        program(h, {{0, 0, 0}, {31, 0, 0}}, 20000.0);
        ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
        e16sim_fire_edge(c.input, !c.rising);    // wrong direction
        e16sim_fire_edge(c.input ^ 1, c.rising); // wrong input
        std::vector<uint32_t> words(20);
        EXPECT_EQ(X502_Recv(h, words.data(), 20, 30), 0) << "words before the edge";
        e16sim_state state{};
        e16sim_get_state(E16SIM_MODULE_DAC, &state);
        EXPECT_EQ(state.stream_state, E16SIM_STREAM_WAIT_EDGE);
        auto pending = std::async(std::launch::async, [&] { return X502_Recv(h, words.data(), 20, 5000); });
        std::this_thread::sleep_for(20ms);
        e16sim_fire_edge(c.input, c.rising);
        ASSERT_EQ(pending.wait_for(5s), std::future_status::ready);
        ASSERT_EQ(pending.get(), 20);
        const auto volts = toVolts(h, words);
        EXPECT_DOUBLE_EQ(volts[0], 0.0) << "the sine starts at the edge";
        EXPECT_DOUBLE_EQ(volts[1], -5.0) << "the frame count starts at the edge";
    }
}

constexpr double kDacStep = 1.0 / 3200.0;

std::vector<double> rampWave(size_t n, double start, double step) {
    std::vector<double> wave(n);
    for (size_t i = 0; i < n; ++i) wave[i] = start + step * static_cast<double>(i);
    return wave;
}

TEST_F(SimTest, StaticDacLevelsAppearOnX15AndX16) {
    t_x502_hnd h = open();
    ASSERT_EQ(X502_AsyncOutDac(h, 0, 1.5, X502_DAC_FLAGS_VOLT | X502_DAC_FLAGS_CALIBR), X502_ERR_OK);
    ASSERT_EQ(X502_AsyncOutDac(h, 1, -2.25, X502_DAC_FLAGS_VOLT), X502_ERR_OK);
    EXPECT_EQ(X502_AsyncOutDac(h, 2, 1.0, 1), X502_ERR_INVALID_DAC_CHANNEL);
    program(h, {{14, 0, 0}, {15, 0, 0}}, 1000.0);
    double frame[2] = {};
    ASSERT_EQ(X502_AsyncGetAdcFrame(h, 1, 150, frame), X502_ERR_OK);
    EXPECT_DOUBLE_EQ(frame[0], 1.5) << "DAC1 on X15";
    EXPECT_DOUBLE_EQ(frame[1], -2.25) << "DAC2 on X16";
    ASSERT_EQ(X502_AsyncOutDac(h, 0, 3200.0, 0), X502_ERR_OK); // a code, not volts
    ASSERT_EQ(X502_AsyncOutDac(h, 1, 12.0, 1), X502_ERR_OK);   // beyond the converter
    ASSERT_EQ(X502_AsyncGetAdcFrame(h, 1, 150, frame), X502_ERR_OK);
    EXPECT_DOUBLE_EQ(frame[0], 1.0) << "a code, not volts";
    EXPECT_NEAR(frame[1], 32767 * kDacStep, kQuantum) << "clipped at the converter's top";

    t_x502_hnd noDac = open(kIpNoDac);
    EXPECT_EQ(X502_AsyncOutDac(noDac, 0, 1.0, 1), X502_ERR_DAC_NOT_PRESENT);
    EXPECT_EQ(X502_StreamsEnable(noDac, X502_STREAM_DAC1), X502_ERR_DAC_NOT_PRESENT);
    EXPECT_EQ(X502_StreamsEnable(noDac, X502_STREAM_DOUT), X502_ERR_OK);
}

TEST_F(SimTest, CyclicOutputIsLoadedWholeBeforeItPlays) {
    t_x502_hnd h = open();
    const auto wave = rampWave(100, -5.0, 0.1);
    EXPECT_EQ(X502_OutCycleSetup(h, 1), X502_ERR_OUT_CYCLE_NOT_LOADED);
    ASSERT_EQ(X502_StreamsEnable(h, X502_STREAM_DAC1), X502_ERR_OK);
    ASSERT_EQ(X502_OutCycleLoadStart(h, 100), X502_ERR_OK);
    std::vector<uint32_t> out(101);
    ASSERT_EQ(X502_PrepareData(h, wave.data(), nullptr, nullptr, 100, 3, out.data()), X502_ERR_OK);
    ASSERT_EQ(X502_Send(h, out.data(), 60, 5000), 60);
    EXPECT_EQ(X502_OutCycleSetup(h, 2), X502_ERR_OUT_CYCLE_INCOMPLETE) << "played before it was whole";
    ASSERT_EQ(X502_Send(h, out.data() + 60, 41, 5000), 40) << "only what the cycle holds";
    ASSERT_EQ(X502_OutCycleSetup(h, 2), X502_ERR_OK);
    std::vector<double> cycle(200);
    ASSERT_EQ(e16sim_get_out_cycle(E16SIM_MODULE_DAC, E16SIM_OUT_DAC1, cycle.data(), 200), 100);
    for (size_t i = 0; i < 100; ++i) EXPECT_NEAR(cycle[i], wave[i], kDacStep / 2) << i;
    EXPECT_EQ(e16sim_get_out_cycle(E16SIM_MODULE_DAC, E16SIM_OUT_DAC2, cycle.data(), 200), 0)
        << "DAC2 got a cycle";
}

TEST_F(SimTest, PreloadedOutputPlaysTheFifoInOrder) {
    t_x502_hnd h = open();
    ASSERT_EQ(X502_SetStreamBufSize(h, 1, 2048), X502_ERR_OK);
    ASSERT_EQ(X502_PreloadStart(h), X502_ERR_OK);
    const auto wave = rampWave(1000, -1.0, 0.002);
    std::vector<uint32_t> out(1000);
    ASSERT_EQ(X502_PrepareData(h, wave.data(), nullptr, nullptr, 1000, 3, out.data()), X502_ERR_OK);
    ASSERT_EQ(X502_Send(h, out.data(), 1000, 100), 1000);
    uint32_t room = 0;
    ASSERT_EQ(X502_GetSendReadyCount(h, &room), X502_ERR_OK);
    EXPECT_EQ(room, 1048u) << "room left in a 2048-word buffer";
    ASSERT_EQ(X502_Send(h, out.data(), 1000, 0), 1000);
    EXPECT_EQ(X502_Send(h, out.data(), 1000, 0), 48) << "only what still fits";
    double fout = 10000.0;
    ASSERT_EQ(X502_SetOutFreq(h, &fout), X502_ERR_OK);
    ASSERT_EQ(X502_StreamsEnable(h, X502_STREAM_DAC1), X502_ERR_OK);
    program(h, {{14, 0, 0}}, 10000.0); // one frame per output sample
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    EXPECT_EQ(X502_PreloadStart(h), X502_ERR_STREAM_IS_RUNNING) << "a preload while streaming";
    const auto volts = toVolts(h, receive(h, 1200));
    ASSERT_EQ(volts.size(), 1200u);
    for (size_t k = 0; k < 1200; ++k) ASSERT_NEAR(volts[k], wave[k % 1000], kDacStep) << k;
}

// Sector rewrites through the flash calls are TE16's tests.
TEST_F(SimTest, FlashIsProtectedBoundedAndKept) {
    t_x502_hnd h = open();
    uint8_t bytes[8] = {};
    const uint8_t data[2] = {0x0F, 0x3C}, mask[1] = {0xF0};
    EXPECT_EQ(X502_FlashWrite(h, 0, data, 2), X502_ERR_FLASH_WRITE_PROTECTED);
    EXPECT_EQ(X502_FlashErase(h, 0, 4096), X502_ERR_FLASH_WRITE_PROTECTED);
    EXPECT_EQ(X502_FlashRead(h, 1u << 20, bytes, 1), X502_ERR_FLASH_INVALID_ADDR);
    EXPECT_EQ(X502_FlashRead(h, (1u << 20) - 4, bytes, 8), X502_ERR_FLASH_INVALID_SIZE);
    ASSERT_EQ(X502_FlashWriteEnable(h), X502_ERR_OK);
    EXPECT_EQ(X502_FlashErase(h, 100, 4096), X502_ERR_FLASH_SECTOR_BOUNDARY);
    EXPECT_EQ(X502_FlashErase(h, 0, 100), X502_ERR_FLASH_SECTOR_BOUNDARY);
    ASSERT_EQ(X502_FlashWrite(h, 0, data, 2), X502_ERR_OK);
    ASSERT_EQ(X502_FlashWrite(h, 0, mask, 1), X502_ERR_OK); // without an erase: bits only clear
    ASSERT_EQ(X502_FlashWriteDisable(h), X502_ERR_OK);
    EXPECT_EQ(X502_FlashWrite(h, 0, data, 1), X502_ERR_FLASH_WRITE_PROTECTED) << "after the disable";
    ASSERT_EQ(X502_Close(h), X502_ERR_OK);
    ASSERT_EQ(E16_OpenByIpAddr(h, kIpDac, 0, 10000), X502_ERR_OK);
    ASSERT_EQ(X502_FlashRead(h, 0, bytes, 3), X502_ERR_OK);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 3), (std::vector<uint8_t>{0x00, 0x3C, 0xFF}))
        << "bits cleared, the rest erased, kept over a close";
}

using Clock = std::chrono::steady_clock;

TEST_F(SimTest, TheTimeScaleComesFromTheControlOrTheEnvironmentAndIsKeptInRange) {
    EXPECT_EQ(e16sim_get_time_scale(), 1u);
    EXPECT_EQ(e16sim_set_time_scale(0), -1);
    EXPECT_EQ(e16sim_set_time_scale(10001), -1);
    EXPECT_EQ(e16sim_set_time_scale(250), 0);
    EXPECT_EQ(e16sim_get_time_scale(), 250u);
    for (const auto& [text, factor] : {std::pair{"7", 7u}, {"0", 1u}, {"3x", 1u}, {"", 1u}}) {
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
    Clock::duration receiving{};
    auto check = [&](uint64_t frames, double y3Hz) {
        const auto start = Clock::now();
        const auto volts = toVolts(h, receive(h, 3 * frames));
        receiving = Clock::now() - start;
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

} // namespace
} // namespace e16sim::test
