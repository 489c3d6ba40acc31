// Outputs of the simulated module: static DAC levels, loading the cyclic and
// the preloaded output streams, and the flash memory.
#include "sim_fixture.h"

namespace e16sim::test {
namespace {

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
    uint32_t flags[2] = {};
    ASSERT_EQ(e16sim_get_dac(E16SIM_MODULE_DAC, 0, nullptr, nullptr, &flags[0]), 0);
    ASSERT_EQ(e16sim_get_dac(E16SIM_MODULE_DAC, 1, nullptr, nullptr, &flags[1]), 0);
    EXPECT_EQ(flags[0], 3u) << "DAC1 flags kept";
    EXPECT_EQ(flags[1], 1u) << "DAC2 flags kept";
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
    ASSERT_EQ(X502_GetSendReadyCount(h, &room), X502_ERR_OK);
    EXPECT_GE(room, 1000u); // played words made room
}

TEST_F(SimTest, FlashIsProtectedSectoredAndKept) {
    t_x502_hnd h = open();
    uint8_t bytes[8] = {};
    ASSERT_EQ(X502_FlashRead(h, 4090, bytes, 8), X502_ERR_OK);
    EXPECT_EQ(bytes[7], 0xFF) << "erased at power-on";
    const uint8_t data[4] = {0x0F, 0x3C, 0xF0, 0x55};
    EXPECT_EQ(X502_FlashWrite(h, 4090, data, 4), X502_ERR_FLASH_WRITE_PROTECTED);
    EXPECT_EQ(X502_FlashErase(h, 0, 4096), X502_ERR_FLASH_WRITE_PROTECTED);
    EXPECT_EQ(X502_FlashRead(h, 1u << 20, bytes, 1), X502_ERR_FLASH_INVALID_ADDR);
    EXPECT_EQ(X502_FlashRead(h, (1u << 20) - 4, bytes, 8), X502_ERR_FLASH_INVALID_SIZE);

    ASSERT_EQ(X502_FlashWriteEnable(h), X502_ERR_OK);
    EXPECT_EQ(X502_FlashErase(h, 100, 4096), X502_ERR_FLASH_SECTOR_BOUNDARY);
    EXPECT_EQ(X502_FlashErase(h, 0, 100), X502_ERR_FLASH_SECTOR_BOUNDARY);
    ASSERT_EQ(X502_FlashWrite(h, 4094, data, 4), X502_ERR_OK); // writes may cross sectors
    const uint8_t mask[2] = {0xF0, 0xF0};
    ASSERT_EQ(X502_FlashWrite(h, 4094, mask, 2), X502_ERR_OK); // without an erase: bits only clear
    ASSERT_EQ(X502_FlashWriteDisable(h), X502_ERR_OK);
    EXPECT_EQ(X502_FlashWrite(h, 4094, data, 1), X502_ERR_FLASH_WRITE_PROTECTED) << "after the disable";

    ASSERT_EQ(X502_Close(h), X502_ERR_OK); // kept over a close
    ASSERT_EQ(E16_OpenByIpAddr(h, kIpDac, 0, 10000), X502_ERR_OK);
    ASSERT_EQ(X502_FlashRead(h, 4093, bytes, 6), X502_ERR_OK);
    const uint8_t want[6] = {0xFF, 0x00, 0x30, 0xF0, 0x55, 0xFF};
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 6), std::vector<uint8_t>(want, want + 6))
        << "written across sectors, bits cleared, kept over a close";

    ASSERT_EQ(X502_FlashWriteEnable(h), X502_ERR_OK);
    ASSERT_EQ(X502_FlashErase(h, 4096, 4096), X502_ERR_OK); // only its own sector
    ASSERT_EQ(X502_FlashRead(h, 4093, bytes, 6), X502_ERR_OK);
    const uint8_t erased[6] = {0xFF, 0x00, 0x30, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 6), std::vector<uint8_t>(erased, erased + 6))
        << "an erase clears its own sector only";
}

} // namespace
} // namespace e16sim::test
