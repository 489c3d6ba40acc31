// The module's clock faster than the wall clock, and sines made frame by
// frame that still follow their formula over long runs and across changes.
#include <chrono>

#include "sim_fixture.h"
#include "test_support.h"

namespace e16sim::test {
namespace {

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
