// Outputs of the simulated module: static DAC levels, the cyclic and the
// preloaded output streams seen through the X15/X16 loopback, the digital
// lines and the flash memory.
#include <thread>

#include "sim_fixture.h"

namespace e16sim::test {
namespace {

using namespace std::chrono_literals;

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
    EXPECT_DOUBLE_EQ(frame[0], 1.5);
    EXPECT_DOUBLE_EQ(frame[1], -2.25);
    double level = 0;
    uint32_t flags = 0;
    ASSERT_EQ(e16sim_get_dac(E16SIM_MODULE_DAC, 0, &level, nullptr, &flags), 0);
    EXPECT_DOUBLE_EQ(level, 1.5);
    EXPECT_EQ(flags, 3u);
    ASSERT_EQ(X502_AsyncOutDac(h, 0, 3200.0, 0), X502_ERR_OK); // a code, not volts
    ASSERT_EQ(X502_AsyncOutDac(h, 1, 12.0, 1), X502_ERR_OK);   // beyond the converter
    ASSERT_EQ(X502_AsyncGetAdcFrame(h, 1, 150, frame), X502_ERR_OK);
    EXPECT_DOUBLE_EQ(frame[0], 1.0);
    EXPECT_NEAR(frame[1], 32767 * kDacStep, kQuantum);
}

TEST_F(SimTest, ModuleWithoutDacRefusesDacCalls) {
    t_x502_hnd h = open(kIpNoDac);
    const double volts[2] = {1.0, 2.0};
    const uint32_t lines[2] = {1, 2};
    uint32_t words[4] = {};
    EXPECT_EQ(X502_AsyncOutDac(h, 0, 1.0, 1), X502_ERR_DAC_NOT_PRESENT);
    EXPECT_EQ(X502_StreamsEnable(h, X502_STREAM_DAC1), X502_ERR_DAC_NOT_PRESENT);
    EXPECT_EQ(X502_PrepareData(h, volts, nullptr, nullptr, 2, 3, words), X502_ERR_DAC_NOT_PRESENT);
    ASSERT_EQ(X502_PrepareData(h, nullptr, nullptr, lines, 2, 0, words), X502_ERR_OK);
    ASSERT_EQ(X502_OutCycleLoadStart(h, 2), X502_ERR_OK);
    EXPECT_EQ(X502_Send(h, words, 2, 100), 2); // the digital output streams without a DAC
    EXPECT_EQ(X502_StreamsEnable(h, X502_STREAM_DOUT), X502_ERR_OK);
}

TEST_F(SimTest, CyclicOutputPlaysOnX15WhileDac2HoldsItsLevel) {
    t_x502_hnd h = open();
    const auto wave = rampWave(100, -5.0, 0.1);
    ASSERT_EQ(X502_AsyncOutDac(h, 1, 0.75, 3), X502_ERR_OK);
    EXPECT_EQ(X502_OutCycleSetup(h, 1), X502_ERR_OUT_CYCLE_NOT_LOADED);
    ASSERT_EQ(X502_StreamsEnable(h, X502_STREAM_DAC1), X502_ERR_OK);
    ASSERT_EQ(X502_OutCycleLoadStart(h, 100), X502_ERR_OK);
    std::vector<uint32_t> out(101);
    ASSERT_EQ(X502_PrepareData(h, wave.data(), nullptr, nullptr, 100, 3, out.data()), X502_ERR_OK);
    EXPECT_EQ(X502_OutCycleSetup(h, 2), X502_ERR_OUT_CYCLE_INCOMPLETE);
    ASSERT_EQ(X502_Send(h, out.data(), 60, 5000), 60);
    uint32_t room = 0;
    ASSERT_EQ(X502_GetSendReadyCount(h, &room), X502_ERR_OK);
    EXPECT_EQ(room, 40u);
    ASSERT_EQ(X502_Send(h, out.data() + 60, 41, 5000), 40); // only what the cycle holds
    ASSERT_EQ(X502_OutCycleSetup(h, 2), X502_ERR_OK);
    double fout = 10000.0;
    ASSERT_EQ(X502_SetOutFreq(h, &fout), X502_ERR_OK);
    program(h, {{14, 0, 0}, {15, 0, 0}}, 20000.0); // one frame per output sample

    std::vector<double> cycle(200);
    ASSERT_EQ(e16sim_get_out_cycle(E16SIM_MODULE_DAC, E16SIM_OUT_DAC1, cycle.data(), 200), 100);
    for (size_t i = 0; i < 100; ++i) EXPECT_NEAR(cycle[i], wave[i], kDacStep / 2) << i;
    EXPECT_EQ(e16sim_get_out_cycle(E16SIM_MODULE_DAC, E16SIM_OUT_DAC2, cycle.data(), 200), 0);

    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    const auto volts = toVolts(h, receive(h, 2 * 250));
    ASSERT_EQ(volts.size(), 500u);
    for (size_t k = 0; k < 250; ++k) {
        ASSERT_NEAR(volts[2 * k], wave[k % 100], kDacStep) << k;
        ASSERT_DOUBLE_EQ(volts[2 * k + 1], 0.75) << k;
    }
    ASSERT_EQ(X502_StreamsStop(h), X502_ERR_OK);
    double now = 0;
    double held = 0;
    ASSERT_EQ(e16sim_get_dac(E16SIM_MODULE_DAC, 0, &now, &held, nullptr), 0);
    EXPECT_EQ(now, held);
    EXPECT_TRUE(
        std::any_of(wave.begin(), wave.end(), [&](double v) { return std::abs(v - held) < kDacStep; }));
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
    EXPECT_EQ(room, 1048u);
    ASSERT_EQ(X502_Send(h, out.data(), 1000, 0), 1000);
    EXPECT_EQ(X502_Send(h, out.data(), 1000, 0), 48);

    double fout = 10000.0;
    ASSERT_EQ(X502_SetOutFreq(h, &fout), X502_ERR_OK);
    ASSERT_EQ(X502_StreamsEnable(h, X502_STREAM_DAC1), X502_ERR_OK);
    program(h, {{14, 0, 0}}, 10000.0);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    EXPECT_EQ(X502_PreloadStart(h), X502_ERR_STREAM_IS_RUNNING);
    const auto volts = toVolts(h, receive(h, 1200));
    ASSERT_EQ(volts.size(), 1200u);
    for (size_t k = 0; k < 1200; ++k) ASSERT_NEAR(volts[k], wave[k % 1000], kDacStep) << k;
    ASSERT_EQ(X502_GetSendReadyCount(h, &room), X502_ERR_OK);
    EXPECT_GE(room, 1000u); // played words made room
}

TEST_F(SimTest, DigitalInputsReadBackTheOutputs) {
    t_x502_hnd h = open();
    uint32_t in = 0;
    ASSERT_EQ(X502_AsyncOutDig(h, 0x1A5A5, 0), X502_ERR_OK);
    ASSERT_EQ(X502_AsyncInDig(h, &in), X502_ERR_OK);
    EXPECT_EQ(in, 0xA5A5u);
    ASSERT_EQ(X502_AsyncOutDig(h, 0x0F0F, 0xFF00), X502_ERR_OK); // masked lines keep their state
    ASSERT_EQ(X502_AsyncInDig(h, &in), X502_ERR_OK);
    EXPECT_EQ(in, 0xA50Fu);
    ASSERT_EQ(X502_SetDigInPullup(h, 5), X502_ERR_OK);
    uint32_t outputs = 0;
    uint32_t pullups = 0;
    ASSERT_EQ(e16sim_get_digital(E16SIM_MODULE_DAC, &outputs, &pullups), 0);
    EXPECT_EQ(outputs, 0xA50Fu);
    EXPECT_EQ(pullups, 5u);

    double fdin = 1000.0;
    ASSERT_EQ(X502_SetDinFreq(h, &fdin), X502_ERR_OK);
    ASSERT_EQ(X502_StreamsEnable(h, X502_STREAM_DIN), X502_ERR_OK);
    program(h, {{16, 0, 0}}, 1000.0);
    ASSERT_EQ(X502_SetStreamStep(h, 0, 8), X502_ERR_OK);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    const auto words = receive(h, 8);
    ASSERT_EQ(words.size(), 8u);
    for (size_t i = 0; i < 8; i += 2) {
        EXPECT_TRUE(words[i] & 0x80000000u) << i;
        EXPECT_EQ(words[i + 1], 0xA50Fu) << i;
    }
    const auto volts = toVolts(h, words);
    ASSERT_EQ(volts.size(), 4u);
    EXPECT_DOUBLE_EQ(volts[3], -1.75);
}

TEST_F(SimTest, FlashIsProtectedSectoredAndKept) {
    t_x502_hnd h = open();
    std::vector<uint8_t> bytes(8192, 0);
    ASSERT_EQ(X502_FlashRead(h, 4090, bytes.data(), 10), X502_ERR_OK);
    EXPECT_EQ(bytes[0], 0xFF);
    const uint8_t data[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(X502_FlashWrite(h, 4090, data, 10), X502_ERR_FLASH_WRITE_PROTECTED);
    EXPECT_EQ(X502_FlashErase(h, 0, 4096), X502_ERR_FLASH_WRITE_PROTECTED);
    EXPECT_EQ(X502_FlashRead(h, 1u << 20, bytes.data(), 1), X502_ERR_FLASH_INVALID_ADDR);
    EXPECT_EQ(X502_FlashRead(h, (1u << 20) - 4, bytes.data(), 8), X502_ERR_FLASH_INVALID_SIZE);

    // A read, erase, merge and write of the two sectors around 4090.
    ASSERT_EQ(X502_FlashWriteEnable(h), X502_ERR_OK);
    EXPECT_EQ(X502_FlashErase(h, 100, 4096), X502_ERR_FLASH_SECTOR_BOUNDARY);
    EXPECT_EQ(X502_FlashErase(h, 0, 100), X502_ERR_FLASH_SECTOR_BOUNDARY);
    ASSERT_EQ(X502_FlashWrite(h, 0, data, 2), X502_ERR_OK);
    ASSERT_EQ(X502_FlashRead(h, 0, bytes.data(), 8192), X502_ERR_OK);
    ASSERT_EQ(X502_FlashErase(h, 0, 8192), X502_ERR_OK);
    std::copy(data, data + 10, bytes.begin() + 4090);
    ASSERT_EQ(X502_FlashWrite(h, 0, bytes.data(), 8192), X502_ERR_OK);
    ASSERT_EQ(X502_FlashWriteDisable(h), X502_ERR_OK);
    EXPECT_EQ(X502_FlashErase(h, 0, 4096), X502_ERR_FLASH_WRITE_PROTECTED);

    ASSERT_EQ(X502_Close(h), X502_ERR_OK);
    ASSERT_EQ(E16_OpenByIpAddr(h, kIpDac, 0, 10000), X502_ERR_OK);
    std::vector<uint8_t> back(8192);
    ASSERT_EQ(X502_FlashRead(h, 0, back.data(), 8192), X502_ERR_OK);
    EXPECT_EQ(back, bytes);
    EXPECT_EQ(back[0], 1); // kept from before the erase by the merge
    EXPECT_EQ(back[4099], 10);

    // Without an erase a write can only clear bits.
    ASSERT_EQ(X502_FlashWriteEnable(h), X502_ERR_OK);
    const uint8_t mask = 0xF0;
    ASSERT_EQ(X502_FlashWrite(h, 4095, &mask, 1), X502_ERR_OK);
    ASSERT_EQ(X502_FlashRead(h, 4095, back.data(), 1), X502_ERR_OK);
    EXPECT_EQ(back[0], 6 & 0xF0);
}

} // namespace
} // namespace e16sim::test
