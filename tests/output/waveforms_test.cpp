// The waveform generator on a record described like a detected module with a
// DAC: buffer sizing and output rate, the value of each kind at known points,
// clipping, and the channels that do not play.
#include "output/waveforms.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>
#include <vector>

#include <gtest/gtest.h>

#include "driver/driver_state.h"

namespace velmora::output {
namespace {

using driver::DriverState;

constexpr double kCodesPerVolt = 3200.0;
enum : int16_t { kOff = 0, kDc = 1, kNoise = 2, kSine = 3, kPulse = 4, kRamp = 5, kTriangle = 6 };

class Waveforms : public ::testing::Test {
protected:
    void SetUp() override {
        DriverState& s = *state_;
        s.dacVoltMax = 10.0;
        s.dacVoltMin = -10.0;
        s.dacUnitScale = kCodesPerVolt;
        s.dacUnitOffset = 0.0;
        s.dacOutRateMax = 500000.0;
        s.dacSignalFreqMin = 0.5;
        s.dacSignalFreqMax = 100000.0;
        s.dacSignalFreq = 100.0;
        s.dacBufferWords = 10000;
    }

    // Channel ch plays kind with amplitude and baseline in volts.
    void Play(int ch, int16_t kind, double amplitude, double baseline = 0.0, double phase = 0.0) {
        auto& c = state_->dacChannels[ch];
        c.waveform = kind;
        c.amplitude = static_cast<int32_t>(amplitude * kCodesPerVolt);
        c.baseline = static_cast<int32_t>(baseline * kCodesPerVolt);
        c.phase = phase;
    }

    const std::vector<double>& Samples(int ch) const { return state_->dacChannels[ch].samples; }

    std::unique_ptr<DriverState> state_ = std::make_unique<DriverState>();
    DriverState& s = *state_;
};

struct WorkedNumbers {
    double freq;
    int channels;
    int32_t length;
    int32_t periods;
    double rate;
};

class WorkedTable : public Waveforms, public ::testing::WithParamInterface<WorkedNumbers> {};

// Each pulse period has one fall from +A to -A, so the falls count the periods
// the buffer really holds at the chosen samples per period.
int CountFalls(const std::vector<double>& x) {
    int falls = 0;
    for (std::size_t i = 1; i < x.size(); ++i) falls += x[i - 1] > 0.0 && x[i] < 0.0;
    return falls;
}

TEST_P(WorkedTable, SizesTheBufferAndChoosesTheRate) {
    const WorkedNumbers w = GetParam();
    s.dacSignalFreq = w.freq;
    for (int ch = 0; ch < w.channels; ++ch) Play(ch, kPulse, 1.0);
    ASSERT_TRUE(GenerateWaveforms(s));
    EXPECT_EQ(s.dacActiveCount, w.channels);
    EXPECT_EQ(s.dacBufferLength, w.length);
    EXPECT_DOUBLE_EQ(s.dacOutRate, w.rate);
    for (int ch = 0; ch < 2; ++ch) ASSERT_EQ(Samples(ch).size(), static_cast<std::size_t>(w.length));
    EXPECT_EQ(CountFalls(Samples(0)), w.periods);
    EXPECT_EQ(s.dacSignalFreq, w.freq);
}

INSTANTIATE_TEST_SUITE_P(Table, WorkedTable,
                         ::testing::Values(WorkedNumbers{100, 2, 5000, 1, 500000},
                                           WorkedNumbers{100, 1, 10000, 2, 500000},
                                           WorkedNumbers{300, 2, 5000, 3, 500000},
                                           WorkedNumbers{0.5, 2, 5000, 1, 2500},
                                           WorkedNumbers{100000, 1, 10000, 2000, 500000}));

TEST_F(Waveforms, BothOffBuildsNothing) {
    s.dacOutRate = 1234.0;
    s.dacBufferLength = 77;
    s.dacActiveCount = 2;
    s.dacChannels[0].running = s.dacChannels[1].running = true;
    s.dacChannels[1].samples = {1.0, 2.0};
    Play(1, kOff, 0.0, 4.0);
    EXPECT_FALSE(GenerateWaveforms(s));
    EXPECT_EQ(s.dacActiveCount, 0);
    EXPECT_FALSE(s.dacChannels[0].running);
    EXPECT_FALSE(s.dacChannels[1].running);
    EXPECT_EQ(s.dacOutRate, 1234.0);
    EXPECT_EQ(s.dacBufferLength, 77);
    EXPECT_EQ(Samples(1), (std::vector<double>{1.0, 2.0}));
}

TEST_F(Waveforms, OffChannelNextToARunningOneIsZeroWhateverItsBaseline) {
    Play(0, kSine, 1.0);
    Play(1, kOff, 3.0, 5.0, 0.5);
    s.dacChannels[1].samples.assign(3, 9.0); // a stale build of another size
    ASSERT_TRUE(GenerateWaveforms(s));
    EXPECT_TRUE(s.dacChannels[0].running);
    EXPECT_FALSE(s.dacChannels[1].running);
    EXPECT_EQ(Samples(1), std::vector<double>(10000, 0.0));
}

TEST_F(Waveforms, SinePassesThroughZeroAndPeaksAtTheQuarters) {
    Play(0, kSine, 1.0);
    ASSERT_TRUE(GenerateWaveforms(s));
    ASSERT_EQ(Samples(0).size(), 10000u);
    EXPECT_NEAR(Samples(0)[0], 0.0, 1e-12);
    EXPECT_NEAR(Samples(0)[1250], 1.0, 1e-12);
    EXPECT_NEAR(Samples(0)[3750], -1.0, 1e-12);
    EXPECT_NEAR(Samples(0)[5000], 0.0, 1e-12);
    EXPECT_NEAR(Samples(0)[6250], 1.0, 1e-12);
}

TEST_F(Waveforms, SinePhaseAndNegativeAmplitude) {
    Play(0, kSine, 1.5, 2.0, 0.25); // a quarter period ahead: starts at the top
    Play(1, kSine, -1.5, 2.0);      // A sin θ with A < 0: falls first
    ASSERT_TRUE(GenerateWaveforms(s));
    EXPECT_NEAR(Samples(0)[0], 3.5, 1e-12);
    EXPECT_NEAR(Samples(0)[1250], 2.0, 1e-12);
    EXPECT_NEAR(Samples(1)[0], 2.0, 1e-12);
    EXPECT_NEAR(Samples(1)[1250], 0.5, 1e-12);
    EXPECT_NEAR(Samples(1)[3750], 3.5, 1e-12);
}

TEST_F(Waveforms, DcOutputsItsAmplitudeNotTheBaseline) {
    Play(1, kDc, 3.0, 2.0);
    ASSERT_TRUE(GenerateWaveforms(s));
    EXPECT_EQ(Samples(1), std::vector<double>(10000, 3.0));
}

TEST_F(Waveforms, PulseHalvesAroundTheBaseline) {
    Play(0, kPulse, -2.0, 1.0);
    ASSERT_TRUE(GenerateWaveforms(s));
    const auto& x = Samples(0);
    for (std::size_t i : {0u, 2499u, 5000u, 7499u}) EXPECT_EQ(x[i], -1.0) << i;
    for (std::size_t i : {2500u, 4999u, 7500u, 9999u}) EXPECT_EQ(x[i], 3.0) << i;
}

TEST_F(Waveforms, PulseTakesTheFractionOfANegativePhaseTowardZero) {
    // x = i/spp - 0.25 is negative for the first quarter; its fraction toward
    // zero is too, so those samples are in the first half (B + A).
    Play(0, kPulse, 1.0, 0.0, -0.25);
    ASSERT_TRUE(GenerateWaveforms(s));
    const auto& x = Samples(0);
    EXPECT_EQ(x[0], 1.0);
    EXPECT_EQ(x[1249], 1.0);
    EXPECT_EQ(x[3749], 1.0);
    EXPECT_EQ(x[3750], -1.0);
    EXPECT_EQ(x[6250], 1.0);
}

TEST_F(Waveforms, RampRisesForPositiveAndFallsForNegativeAmplitude) {
    Play(0, kRamp, 2.0, 1.0);
    Play(1, kRamp, -2.0, 1.0);
    ASSERT_TRUE(GenerateWaveforms(s)); // 5000 samples, one period
    const auto& up = Samples(0);
    EXPECT_NEAR(up[0], 1.0, 1e-12);
    EXPECT_NEAR(up[1250], 2.0, 1e-12);
    EXPECT_NEAR(up[2499], 1.0 + 2.0 * (2499.0 / 2500.0), 1e-9); // top just before the half
    EXPECT_NEAR(up[2501], -1.0 + 2.0 * (1.0 / 2500.0), 1e-9);   // bottom just after
    EXPECT_NEAR(up[3750], 0.0, 1e-12);
    const auto& down = Samples(1);
    EXPECT_NEAR(down[0], 3.0, 1e-12);
    EXPECT_NEAR(down[1250], 2.0, 1e-12);
    EXPECT_NEAR(down[2500], 1.0, 1e-12);
    EXPECT_NEAR(down[3750], 0.0, 1e-12);
    EXPECT_NEAR(down[4999], -1.0 + 4.0 / 5000.0, 1e-9);
}

TEST_F(Waveforms, TriangleStartsAtTheBottomAndNegativeAmplitudeMirrorsIt) {
    Play(0, kTriangle, 2.0, 1.0);
    Play(1, kTriangle, -2.0, 1.0);
    ASSERT_TRUE(GenerateWaveforms(s));
    const double up[] = {-1.0, 1.0, 3.0, 1.0}, down[] = {3.0, 1.0, -1.0, 1.0};
    for (int q = 0; q < 4; ++q) {
        EXPECT_NEAR(Samples(0)[q * 1250], up[q], 1e-12) << q;
        EXPECT_NEAR(Samples(1)[q * 1250], down[q], 1e-12) << q;
    }
}

TEST_F(Waveforms, NoiseIsUniformAroundTheBaselineAndNewEachBuild) {
    Play(0, kNoise, 1.0, 2.0);
    ASSERT_TRUE(GenerateWaveforms(s));
    const std::vector<double> first = Samples(0);
    ASSERT_TRUE(GenerateWaveforms(s));
    EXPECT_NE(first, Samples(0));
    const auto [lo, hi] = std::minmax_element(first.begin(), first.end());
    EXPECT_GE(*lo, 1.0);
    EXPECT_LE(*hi, 3.0);
    EXPECT_LT(*lo, 1.01); // spread over the whole band, not a narrow part of it
    EXPECT_GT(*hi, 2.99);
    EXPECT_NEAR(std::accumulate(first.begin(), first.end(), 0.0) / first.size(), 2.0, 0.05);
}

TEST_F(Waveforms, NoiseSeedsAreFreshValuesBelowAHundred) {
    const double a = NextNoiseSeed(), b = NextNoiseSeed();
    EXPECT_NE(a, b);
    for (double seed : {a, b}) {
        EXPECT_GE(seed, 0.0);
        EXPECT_LT(seed, 100.0);
    }
}

TEST_F(Waveforms, SamplesAreClippedToTheOutputRange) {
    Play(0, kSine, 8.0, 5.0);
    Play(1, kDc, -12.0);
    ASSERT_TRUE(GenerateWaveforms(s));
    const auto [lo, hi] = std::minmax_element(Samples(0).begin(), Samples(0).end());
    EXPECT_EQ(*hi, 10.0);
    EXPECT_NEAR(*lo, -3.0, 1e-12);
    EXPECT_GT(std::count(Samples(0).begin(), Samples(0).end(), 10.0), 100);
    EXPECT_EQ(Samples(1), std::vector<double>(5000, -10.0));
}

TEST_F(Waveforms, FrequencyBelowTheMinimumIsRaisedAndKept) {
    s.dacSignalFreq = 0.2;
    Play(0, kSine, 1.0);
    Play(1, kTriangle, 1.0);
    ASSERT_TRUE(GenerateWaveforms(s));
    EXPECT_EQ(s.dacSignalFreq, 0.5);
    EXPECT_DOUBLE_EQ(s.dacOutRate, 2500.0);
}

TEST_F(Waveforms, OddBufferWordsRoundHalvesToEven) {
    s.dacBufferWords = 10001; // 5000.5 per channel
    Play(0, kDc, 1.0);
    Play(1, kDc, 1.0);
    ASSERT_TRUE(GenerateWaveforms(s));
    EXPECT_EQ(s.dacBufferLength, 5000);
    s.dacBufferWords = 10003; // 5001.5
    ASSERT_TRUE(GenerateWaveforms(s));
    EXPECT_EQ(s.dacBufferLength, 5002);
}

} // namespace
} // namespace velmora::output
