// Frequencies, the logical channel table and synchronization settings: how
// the simulated module adjusts, checks and applies them.
#include "sim_fixture.h"

namespace e16sim::test {
namespace {

e16sim_config config(int32_t applied) {
    e16sim_config c{};
    EXPECT_EQ(e16sim_get_config(E16SIM_MODULE_DAC, applied, &c), 0);
    return c;
}

TEST_F(SimTest, AdcFrequenciesFollowTheDividerAndDelayRules) {
    t_x502_hnd h = open();
    ASSERT_EQ(X502_SetLChannelCount(h, 4), X502_ERR_OK);
    double acq = 100000.0;
    double frame = 10000.0;
    ASSERT_EQ(X502_SetAdcFreq(h, &acq, &frame), X502_ERR_OK);
    EXPECT_DOUBLE_EQ(acq, 100000.0);  // divider 480
    EXPECT_DOUBLE_EQ(frame, 10000.0); // delay 4800 - 4 x 480 = 2880 ticks
    EXPECT_EQ(config(0).adc_div, 480u);
    EXPECT_EQ(config(0).frame_delay, 2880u);

    acq = 333333.0; // 144.0001 rounds down to divider 144
    frame = 1e9;    // faster than the channels allow: no delay
    ASSERT_EQ(X502_SetAdcFreq(h, &acq, &frame), X502_ERR_OK);
    EXPECT_DOUBLE_EQ(acq, 48e6 / 144);
    EXPECT_DOUBLE_EQ(frame, 48e6 / (4 * 144));

    acq = 1.0;     // divider clamps at 1048576
    frame = 0.001; // delay clamps at 0x1FFFFF
    ASSERT_EQ(X502_SetAdcFreq(h, &acq, &frame), X502_ERR_OK);
    EXPECT_DOUBLE_EQ(acq, 48e6 / 1048576);
    EXPECT_DOUBLE_EQ(frame, 48e6 / (4.0 * 1048576 + 0x1FFFFF));
}

TEST_F(SimTest, TotalRateNeverExceedsHalfAMegasample) {
    t_x502_hnd h = open();
    ASSERT_EQ(X502_SetLChannelCount(h, 32), X502_ERR_OK);
    double acq = 500000.0;
    double frame = 500000.0;
    ASSERT_EQ(X502_SetAdcFreq(h, &acq, &frame), X502_ERR_OK);
    EXPECT_DOUBLE_EQ(acq, 500000.0);
    EXPECT_DOUBLE_EQ(frame, 15625.0);
    acq = 2e6;
    ASSERT_EQ(X502_SetAdcFreq(h, &acq, nullptr), X502_ERR_OK);
    EXPECT_DOUBLE_EQ(acq, 500000.0);
    acq = 0.0;
    EXPECT_EQ(X502_SetAdcFreq(h, &acq, &frame), X502_ERR_INVALID_ADC_FREQ);
    acq = std::nan("");
    EXPECT_EQ(X502_SetAdcFreq(h, &acq, &frame), X502_ERR_INVALID_ADC_FREQ);
}

TEST_F(SimTest, FrequenciesAreRefusedWhileStreaming) {
    t_x502_hnd h = open();
    program(h, {{0, 0, 0}}, 1000.0);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    double f = 2000.0;
    EXPECT_EQ(X502_SetAdcFreq(h, &f, nullptr), X502_ERR_STREAM_IS_RUNNING);
    EXPECT_EQ(X502_SetOutFreq(h, &f), X502_ERR_STREAM_IS_RUNNING);
    EXPECT_EQ(X502_Configure(h, 0), X502_ERR_STREAM_IS_RUNNING);
    EXPECT_EQ(X502_StreamsEnable(h, X502_STREAM_DIN), X502_ERR_STREAM_IS_RUNNING);
    EXPECT_EQ(X502_StreamsStart(h), X502_ERR_STREAM_IS_RUNNING);
    ASSERT_EQ(X502_StreamsStop(h), X502_ERR_OK);
    EXPECT_EQ(X502_SetAdcFreq(h, &f, nullptr), X502_ERR_OK);
}

TEST_F(SimTest, OutputAndDigitalInputFrequenciesUseTheReferenceDivider) {
    t_x502_hnd h = open();
    double out = 1000.0;
    ASSERT_EQ(X502_SetOutFreq(h, &out), X502_ERR_OK);
    EXPECT_DOUBLE_EQ(out, 1000.0);
    out = 7000.0; // 6857.14 + 0.49 -> divider 6857
    ASSERT_EQ(X502_SetOutFreq(h, &out), X502_ERR_OK);
    EXPECT_DOUBLE_EQ(out, 48e6 / 6857);
    out = 1e6;
    ASSERT_EQ(X502_SetOutFreq(h, &out), X502_ERR_OK);
    EXPECT_DOUBLE_EQ(out, 500000.0);
    out = -1.0;
    EXPECT_EQ(X502_SetOutFreq(h, &out), X502_ERR_INVALID_OUT_FREQ);
    double din = 3e6;
    ASSERT_EQ(X502_SetDinFreq(h, &din), X502_ERR_OK);
    EXPECT_DOUBLE_EQ(din, 1e6);
    EXPECT_EQ(X502_SetRefFreq(h, 48000000), X502_ERR_OK);
    EXPECT_EQ(X502_SetRefFreq(h, 2000000), X502_ERR_INVALID_REF_FREQ);
    ASSERT_EQ(X502_Configure(h, 0), X502_ERR_OK);
    EXPECT_EQ(config(1).out_div, 96u);
    EXPECT_DOUBLE_EQ(config(1).din_freq, 1e6);
}

TEST_F(SimTest, ChannelTableIsCheckedAndAppliedByConfigure) {
    t_x502_hnd h = open();
    EXPECT_EQ(X502_SetLChannel(h, 0, 31, X502_LCH_MODE_COMM, 3, 0), X502_ERR_OK);
    EXPECT_EQ(X502_SetLChannel(h, 1, 15, X502_LCH_MODE_DIFF, 1, 128), X502_ERR_OK); // averaging ignored
    EXPECT_EQ(X502_SetLChannel(h, 2, 4, X502_LCH_MODE_ZERO, 0, 0), X502_ERR_OK);
    EXPECT_EQ(X502_SetLChannel(h, 3, 32, X502_LCH_MODE_COMM, 0, 0), X502_ERR_INVALID_LCH_PHY_NUMBER);
    EXPECT_EQ(X502_SetLChannel(h, 3, 16, X502_LCH_MODE_DIFF, 0, 0), X502_ERR_INVALID_LCH_PHY_NUMBER);
    EXPECT_EQ(X502_SetLChannel(h, 3, 0, 3, 0, 0), X502_ERR_INVALID_LCH_MODE);
    EXPECT_EQ(X502_SetLChannel(h, 3, 0, 0, 4, 0), X502_ERR_INVALID_LCH_RANGE);
    EXPECT_EQ(X502_SetLChannel(h, 256, 0, 0, 0, 0), X502_ERR_INVALID_LCH_NUMBER);
    EXPECT_EQ(X502_SetLChannelCount(h, 0), X502_ERR_INVALID_LTABLE_SIZE);
    EXPECT_EQ(X502_SetLChannelCount(h, 257), X502_ERR_INVALID_LTABLE_SIZE);
    ASSERT_EQ(X502_SetLChannelCount(h, 3), X502_ERR_OK);

    EXPECT_EQ(config(0).lch_count, 3u);
    EXPECT_EQ(config(1).lch_count, 1u); // not applied yet
    ASSERT_EQ(X502_Configure(h, 0), X502_ERR_OK);
    const e16sim_config applied = config(1);
    EXPECT_EQ(applied.lch_count, 3u);
    EXPECT_EQ(applied.lch[0].phy, 31u);
    EXPECT_EQ(applied.lch[0].range, 3u);
    EXPECT_EQ(applied.lch[1].mode, 1u);
    EXPECT_EQ(applied.lch[2].mode, 2u);
}

TEST_F(SimTest, SynchronizationCodesAreChecked) {
    t_x502_hnd h = open();
    for (uint32_t code : {0u, 1u, 2u, 3u, 6u, 7u, 8u, 9u, 10u, 11u}) {
        EXPECT_EQ(X502_SetSyncStartMode(h, code), X502_ERR_OK) << code;
    }
    for (uint32_t code : {4u, 5u, 12u, 100u}) {
        EXPECT_EQ(X502_SetSyncStartMode(h, code), X502_ERR_INVALID_SYNC_MODE) << code;
    }
    EXPECT_EQ(X502_SetSyncMode(h, 0), X502_ERR_OK);
    EXPECT_EQ(X502_SetSyncMode(h, 8), X502_ERR_INVALID_SYNC_MODE);
    EXPECT_EQ(X502_SetAdcSyncStartValue(h, 20, X502_LCH_MODE_COMM, 1, 0.5), X502_ERR_OK);
    EXPECT_EQ(X502_SetAdcSyncStartValue(h, 20, X502_LCH_MODE_DIFF, 1, 0.5), X502_ERR_INVALID_LCH_PHY_NUMBER);
    EXPECT_EQ(X502_SetAdcSyncStartValue(h, 4, X502_LCH_MODE_DIFF, 5, 0.5), X502_ERR_INVALID_LCH_RANGE);
    ASSERT_EQ(X502_Configure(h, 0), X502_ERR_OK);
    const e16sim_config c = config(1);
    EXPECT_EQ(c.sync_start_mode, 11u);
    EXPECT_EQ(c.watch_phy, 20u);
    EXPECT_EQ(c.watch_range, 1u);
    EXPECT_DOUBLE_EQ(c.watch_level, 0.5);
}

TEST_F(SimTest, StreamStepAndBufferSizesAreKept) {
    t_x502_hnd h = open();
    EXPECT_EQ(X502_SetStreamStep(h, 0, 640), X502_ERR_OK);
    EXPECT_EQ(X502_SetStreamBufSize(h, 0, 65536), X502_ERR_OK);
    EXPECT_EQ(X502_SetStreamBufSize(h, 1, 10), X502_ERR_OK); // raised to the minimum
    EXPECT_EQ(X502_SetStreamBufSize(h, 2, 10), X502_ERR_INVALID_STREAM_CH);
    EXPECT_EQ(X502_SetStreamStep(h, 2, 10), X502_ERR_INVALID_STREAM_CH);
    e16sim_state state;
    ASSERT_EQ(e16sim_get_state(E16SIM_MODULE_DAC, &state), 0);
    EXPECT_EQ(state.in_step, 640u);
    EXPECT_EQ(state.in_buf_words, 65536u);
    EXPECT_EQ(state.out_buf_words, 1024u);
    EXPECT_EQ(X502_SetStreamBufSize(h, 0, 0), X502_ERR_OK); // back to the default
    ASSERT_EQ(e16sim_get_state(E16SIM_MODULE_DAC, &state), 0);
    EXPECT_EQ(state.in_buf_words, 4u << 20);
}

} // namespace
} // namespace e16sim::test
