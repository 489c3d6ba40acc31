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
    struct Case {
        uint32_t channels;
        double acq, frame; // frame 0: not asked for
        double wantAcq, wantFrame;
    };
    const Case cases[] = {
        {4, 100000, 10000, 100000, 10000}, // divider 480, delay 4800 - 4 x 480
        {4, 239395.5, 1e9, 240000, 60000}, // 200.505 rounds down to divider 200; no delay
        {4, 1, 0.001, 48e6 / 1048576, 48e6 / (4.0 * 1048576 + 0x1FFFFF)}, // both clamp
        {32, 500000, 500000, 500000, 15625},                              // the whole rate on 32 channels
        {1, 2e6, 0, 500000, 500000},                                      // never above 500 kS/s
    };
    t_x502_hnd h = open();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.channels << " channels asking " << c.acq << " and " << c.frame);
        ASSERT_EQ(X502_SetLChannelCount(h, c.channels), X502_ERR_OK);
        double acq = c.acq;
        double frame = c.frame;
        ASSERT_EQ(X502_SetAdcFreq(h, &acq, c.frame > 0 ? &frame : nullptr), X502_ERR_OK);
        EXPECT_DOUBLE_EQ(acq, c.wantAcq) << "conversion rate";
        if (c.frame > 0) {
            EXPECT_DOUBLE_EQ(frame, c.wantFrame) << "frame rate";
        }
        if (c.acq == 100000) {
            EXPECT_EQ(config(0).adc_div, 480u) << "divider";
            EXPECT_EQ(config(0).frame_delay, 2880u) << "frame delay";
        }
    }
    for (double bad : {0.0, -1.0, std::nan("")}) {
        double frame = 1000;
        EXPECT_EQ(X502_SetAdcFreq(h, &bad, &frame), X502_ERR_INVALID_ADC_FREQ) << bad;
    }
}

TEST_F(SimTest, OutputAndDigitalInputFrequenciesUseTheReferenceDivider) {
    t_x502_hnd h = open();
    const double asked[] = {1000, 7000, 1e6};
    const double given[] = {1000, 48e6 / 6857, 500000}; // 6857.14 + 0.49 -> divider 6857
    for (int i = 0; i < 3; ++i) {
        double out = asked[i];
        ASSERT_EQ(X502_SetOutFreq(h, &out), X502_ERR_OK) << "asking " << asked[i];
        EXPECT_DOUBLE_EQ(out, given[i]) << "asking " << asked[i];
    }
    double out = -1.0;
    EXPECT_EQ(X502_SetOutFreq(h, &out), X502_ERR_INVALID_OUT_FREQ);
    double din = 3e6;
    ASSERT_EQ(X502_SetDinFreq(h, &din), X502_ERR_OK);
    EXPECT_DOUBLE_EQ(din, 1e6) << "digital input rate limit";
    EXPECT_EQ(X502_SetRefFreq(h, 2000000), X502_ERR_INVALID_REF_FREQ);
    ASSERT_EQ(X502_Configure(h, 0), X502_ERR_OK);
    EXPECT_EQ(config(1).out_div, 96u) << "applied output divider";
    EXPECT_DOUBLE_EQ(config(1).din_freq, 1e6) << "applied digital input rate";
}

TEST_F(SimTest, SettingsAreRefusedWhileStreaming) {
    t_x502_hnd h = open();
    program(h, {{0, 0, 0}}, 1000.0);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    double f = 2000.0;
    EXPECT_EQ(X502_SetAdcFreq(h, &f, nullptr), X502_ERR_STREAM_IS_RUNNING);
    EXPECT_EQ(X502_SetOutFreq(h, &f), X502_ERR_STREAM_IS_RUNNING);
    EXPECT_EQ(X502_Configure(h, 0), X502_ERR_STREAM_IS_RUNNING);
    EXPECT_EQ(X502_StreamsStart(h), X502_ERR_STREAM_IS_RUNNING);
    ASSERT_EQ(X502_StreamsStop(h), X502_ERR_OK);
    EXPECT_EQ(X502_SetAdcFreq(h, &f, nullptr), X502_ERR_OK) << "refused after the stop";
}

TEST_F(SimTest, ChannelTableAndSyncSettingsAreCheckedAndAppliedByConfigure) {
    t_x502_hnd h = open();
    EXPECT_EQ(X502_SetLChannel(h, 0, 31, X502_LCH_MODE_COMM, 3, 0), X502_ERR_OK);
    EXPECT_EQ(X502_SetLChannel(h, 1, 15, X502_LCH_MODE_DIFF, 1, 128), X502_ERR_OK);
    EXPECT_EQ(X502_SetLChannel(h, 3, 16, X502_LCH_MODE_DIFF, 0, 0), X502_ERR_INVALID_LCH_PHY_NUMBER);
    EXPECT_EQ(X502_SetLChannel(h, 3, 0, 3, 0, 0), X502_ERR_INVALID_LCH_MODE);
    EXPECT_EQ(X502_SetLChannel(h, 3, 0, 0, 4, 0), X502_ERR_INVALID_LCH_RANGE);
    EXPECT_EQ(X502_SetLChannel(h, 256, 0, 0, 0, 0), X502_ERR_INVALID_LCH_NUMBER);
    EXPECT_EQ(X502_SetLChannelCount(h, 257), X502_ERR_INVALID_LTABLE_SIZE);
    ASSERT_EQ(X502_SetLChannelCount(h, 2), X502_ERR_OK);
    for (uint32_t code : {4u, 5u, 12u}) {
        EXPECT_EQ(X502_SetSyncStartMode(h, code), X502_ERR_INVALID_SYNC_MODE) << code;
    }
    ASSERT_EQ(X502_SetSyncStartMode(h, X502_SYNC_ADC_BELOW_LEVEL), X502_ERR_OK);
    EXPECT_EQ(X502_SetAdcSyncStartValue(h, 20, X502_LCH_MODE_DIFF, 1, 0.5), X502_ERR_INVALID_LCH_PHY_NUMBER);
    ASSERT_EQ(X502_SetAdcSyncStartValue(h, 20, X502_LCH_MODE_COMM, 1, 0.5), X502_ERR_OK);

    EXPECT_EQ(config(1).lch_count, 1u) << "applied before Configure";
    ASSERT_EQ(X502_Configure(h, 0), X502_ERR_OK);
    const e16sim_config c = config(1);
    EXPECT_EQ(c.lch_count, 2u);
    EXPECT_EQ(c.lch[0].phy, 31u);
    EXPECT_EQ(c.lch[0].range, 3u);
    EXPECT_EQ(c.lch[1].mode, 1u);
    EXPECT_EQ(c.sync_start_mode, 11u);
    EXPECT_EQ(c.watch_phy, 20u);
    EXPECT_DOUBLE_EQ(c.watch_level, 0.5);
}

} // namespace
} // namespace e16sim::test
