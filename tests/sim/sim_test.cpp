// What the other tests take from the simulated module on trust: the words of
// the input stream and their conversion to volts. The rest of the simulator
// is checked through TE16, the engine, the driver and the hosts, which all
// run on it.
#include <gtest/gtest.h>

#include "device/x502api.h"
#include "e16sim_control.h"

namespace e16sim::test {
namespace {

TEST(Sim, AdcWordsEncodeTheirChannelsSample) {
    e16sim_reset();
    e16sim_set_dc(1, 1.0); // X2; Y2 stays at -1.5 V
    t_x502_hnd h = X502_Create();
    ASSERT_EQ(E16_OpenByIpAddr(h, 0x7F000001u, 0, 10000), X502_ERR_OK);
    // Physical input, mode, range of each logical channel.
    const uint32_t table[4][3] = {{16, 0, 0}, {1, 1, 0}, {3, 2, 3}, {30, 0, 3}};
    for (uint32_t i = 0; i < 4; ++i)
        ASSERT_EQ(X502_SetLChannel(h, i, table[i][0], table[i][1], table[i][2], 0), X502_ERR_OK);
    double rate = 400000.0;
    ASSERT_EQ(X502_SetLChannelCount(h, 4), X502_ERR_OK);
    ASSERT_EQ(X502_SetAdcFreq(h, &rate, nullptr), X502_ERR_OK);
    ASSERT_EQ(X502_StreamsEnable(h, X502_STREAM_ADC), X502_ERR_OK);
    ASSERT_EQ(X502_Configure(h, 0), X502_ERR_OK);
    ASSERT_EQ(X502_StreamsStart(h), X502_ERR_OK);
    uint32_t words[8] = {};
    for (int32_t got = 0, n = 0; got < 8; got += n)
        ASSERT_GT(n = X502_Recv(h, words + got, 8 - got, 5000), 0) << "words received: " << got;

    const int32_t codes[] = {-1050000, 1500000, 0, 6144000}; // -1.75 V, 2.5 V, 0 V, clipped 1.75 V
    const double volts[] = {-1.75, 2.5, 0.0, 0.16};          // 0.16 = 1.024 x 0.15625 V
    double converted[8] = {}, code = 0;
    uint32_t size = 8, one = 1;
    ASSERT_EQ(X502_ProcessAdcData(h, words, converted, &size, X502_PROC_FLAGS_VOLT), X502_ERR_OK);
    ASSERT_EQ(size, 8u);
    for (uint32_t i = 0; i < 8; ++i) {
        SCOPED_TRACE(testing::Message() << "word " << i << ": 0x" << std::hex << words[i]);
        EXPECT_TRUE(words[i] & 0x80000000u) << "not marked as an ADC word";
        EXPECT_EQ((words[i] >> 24) & 0xFu, i % 4) << "logical channel";
        EXPECT_EQ((words[i] >> 28) & 3u, table[i % 4][1]) << "mode";
        EXPECT_EQ(static_cast<int32_t>(words[i] << 8) >> 8, codes[i % 4]) << "code";
        EXPECT_DOUBLE_EQ(converted[i], volts[i % 4]) << "volts";
    }
    ASSERT_EQ(X502_ProcessAdcData(h, words, &code, &one, 0), X502_ERR_OK);
    EXPECT_EQ(code, codes[0]) << "without the volts flag: codes";
    X502_Free(h);
    e16sim_reset();
}

// A rate becomes 48 MHz over a whole divider, rounded up only from 0.51 of
// a step; the same rule makes the frame delay, in ticks after the frame's
// conversions. Dividers that are not whole numbers find a wrong rounding.
TEST(Sim, RatesRoundToAWholeDividerUpOnlyPastHalfAStep) {
    e16sim_reset();
    t_x502_hnd h = X502_Create();
    ASSERT_EQ(E16_OpenByIpAddr(h, 0x7F000001u, 0, 10000), X502_ERR_OK);
    ASSERT_EQ(X502_SetLChannelCount(h, 2), X502_ERR_OK);
    const struct {
        double quotient;      // 48 MHz / the rate asked
        double divider;       // as taken
        double frameQuotient; // 48 MHz / the frame rate asked
        double frameTicks;    // the frame as taken: 2 dividers and the delay
    } cases[] = {
        {100.0, 100, 400.0, 400},   {100.3, 100, 400.3, 400},  {100.5, 100, 400.5, 400},
        {100.52, 101, 400.52, 401}, {99.95, 100, 399.95, 400}, {1.2, 96, 150.0, 192},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.quotient);
        double rate = 48e6 / c.quotient, frame = 48e6 / c.frameQuotient;
        ASSERT_EQ(X502_SetAdcFreq(h, &rate, &frame), X502_ERR_OK);
        EXPECT_DOUBLE_EQ(rate, 48e6 / c.divider);
        EXPECT_DOUBLE_EQ(frame, 48e6 / c.frameTicks);
    }
    X502_Free(h);
    e16sim_reset();
}

} // namespace
} // namespace e16sim::test
