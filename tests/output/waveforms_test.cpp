// The waveform generator on a record described like a detected module with a
// DAC (10000 buffer words, ±10 V, 500 kHz at most), and the block functions
// it is built from.
#include "output/waveforms.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "output/analog_output.h"
#include "output/dsp.h"

namespace velmora::output {
namespace {

using core::Waveform;

constexpr double kPi = std::numbers::pi;
constexpr double kCodesPerVolt = 3200.0; // 32000 codes over the 10 V range

// The outputs of a module with a DAC, at `freq`.
std::unique_ptr<AnalogOutput> Generator(double freq = 100.0) {
    auto s = std::make_unique<AnalogOutput>();
    s->Describe();
    s->generator.signalFreq = freq;
    return s;
}

// Channel ch plays kind with amplitude and baseline in volts.
void Play(AnalogOutput& s, int ch, Waveform kind, double a, double b = 0.0, double phase = 0.0) {
    auto& c = s.generator.waves[static_cast<std::size_t>(ch)];
    c.waveform = kind;
    c.amplitude = static_cast<int32_t>(a * kCodesPerVolt);
    c.baseline = static_cast<int32_t>(b * kCodesPerVolt);
    c.phase = phase;
}

TEST(Waveforms, TheBufferHoldsWholePeriodsAtTheRateChosen) {
    // Asked and kept frequency, channels, buffer length, periods in it, output rate.
    const std::tuple<double, double, int, int32_t, int, double> cases[] = {
        {100, 100, 2, 5000, 1, 500000},           {100, 100, 1, 10000, 2, 500000},
        {300, 300, 2, 5000, 3, 500000},           {0.5, 0.5, 2, 5000, 1, 2500},
        {100000, 100000, 1, 10000, 2000, 500000}, {0.2, 0.5, 2, 5000, 1, 2500}};
    for (const auto& [asked, kept, channels, length, periods, rate] : cases) {
        SCOPED_TRACE(asked);
        auto s = Generator(asked);
        for (int ch = 0; ch < channels; ++ch) Play(*s, ch, Waveform::Pulse, 1.0);
        ASSERT_TRUE(GenerateWaveforms(*s));
        EXPECT_EQ(std::tuple(s->activeCount, s->bufferLength, s->outRate, s->generator.signalFreq),
                  std::tuple(channels, length, rate, kept))
            << "channels playing, samples per channel, output rate, signal frequency";
        const auto& x = s->channels[0].samples;
        ASSERT_EQ(x.size(), static_cast<std::size_t>(length));
        int falls = 0; // one fall from +A to -A per period
        for (std::size_t i = 1; i < x.size(); ++i) falls += x[i - 1] > 0.0 && x[i] < 0.0;
        EXPECT_EQ(falls, periods);
    }
}

TEST(Waveforms, ValuesOfEachKindAtKnownPoints) {
    // One channel at 100 Hz: 5000 samples per period. The kind, amplitude,
    // baseline and phase, and samples at known points.
    using Points = std::vector<std::pair<std::size_t, double>>;
    const std::tuple<Waveform, double, double, double, Points> cases[] = {
        {Waveform::Sine, 1, 0, 0, {{0, 0}, {1250, 1}, {3750, -1}, {5000, 0}}},
        {Waveform::Sine, 1.5, 2, 0.25, {{0, 3.5}, {1250, 2}}},
        {Waveform::Sine, -1.5, 2, 0, {{0, 2}, {1250, 0.5}, {3750, 3.5}}},
        {Waveform::Sine, 8, 5, 0, {{1250, 10}, {3750, -3}}}, // clipped at the top
        {Waveform::Dc, 3, 2, 0, {{0, 3}, {9999, 3}}},
        {Waveform::Dc, -12, 0, 0, {{0, -10}}},
        {Waveform::Pulse, -2, 1, 0, {{0, -1}, {2499, -1}, {2500, 3}, {4999, 3}, {5000, -1}, {9999, 3}}},
        {Waveform::Ramp, 2, 1, 0, {{0, 1}, {1250, 2}, {2499, 2.9992}, {2501, -0.9992}, {3750, 0}}},
        {Waveform::Ramp, -2, 1, 0, {{0, 3}, {1250, 2}, {2500, 1}, {3750, 0}, {4999, -1 + 4 / 5000.0}}},
        {Waveform::Triangle, 2, 1, 0, {{0, -1}, {1250, 1}, {2500, 3}, {3750, 1}}},
        {Waveform::Triangle, -2, 1, 0, {{0, 3}, {1250, 1}, {2500, -1}, {3750, 1}}}};
    for (const auto& [kind, a, b, phase, points] : cases) {
        auto s = Generator();
        Play(*s, 0, kind, a, b, phase);
        ASSERT_TRUE(GenerateWaveforms(*s));
        for (const auto& [i, v] : points)
            EXPECT_NEAR(s->channels[0].samples.at(i), v, 1e-9)
                << static_cast<int>(kind) << " A " << a << " at " << i;
    }
}

// A phase of a quarter starts every kind a quarter period later in its
// cycle: the samples are those of phase 0 a quarter period on, for either
// sign of the amplitude. (Samples on the eighths of a period are passed
// over: a pulse or a ramp jumps there.)
TEST(Waveforms, APhaseAdvancesEveryKindByItsFractionOfAPeriod) {
    for (Waveform kind : {Waveform::Sine, Waveform::Pulse, Waveform::Ramp, Waveform::Triangle}) {
        for (double a : {2.0, -2.0}) {
            SCOPED_TRACE(testing::Message() << static_cast<int>(kind) << " A " << a);
            auto zero = Generator(), quarter = Generator();
            Play(*zero, 0, kind, a, 1.0);
            Play(*quarter, 0, kind, a, 1.0, 0.25);
            ASSERT_TRUE(GenerateWaveforms(*zero) && GenerateWaveforms(*quarter));
            const auto& x0 = zero->channels[0].samples;
            const auto& xq = quarter->channels[0].samples;
            for (std::size_t i = 1; i + 1250 < x0.size(); i += 7) {
                if (i % 625 == 0) continue;
                ASSERT_NEAR(xq.at(i), x0.at(i + 1250), 1e-9) << "at " << i;
            }
        }
    }
}

// Noise fills the whole band, not a narrow part of it, drawn anew each build.
TEST(Waveforms, NoiseIsDrawnAcrossItsBandEachBuild) {
    auto s = Generator();
    Play(*s, 0, Waveform::Noise, 1.0, 2.0);
    ASSERT_TRUE(GenerateWaveforms(*s));
    const std::vector<double> first = s->channels[0].samples;
    const auto [lo, hi] = std::minmax_element(first.begin(), first.end());
    EXPECT_TRUE(*lo >= 1.0 && *hi <= 3.0 && *hi - *lo > 1.98) << "drawn from " << *lo << " to " << *hi;
    ASSERT_TRUE(GenerateWaveforms(*s));
    EXPECT_NE(first, s->channels[0].samples) << "the same noise again";
}

TEST(Waveforms, OffChannelsBuildNothingOrZeros) {
    auto s = Generator();
    s->outRate = 1234.0;
    s->activeCount = 2;
    Play(*s, 1, Waveform::Off, 3.0, 5.0, 0.5);
    EXPECT_FALSE(GenerateWaveforms(*s));
    EXPECT_EQ(std::tuple(s->activeCount, s->outRate), std::tuple(0, 1234.0))
        << "nothing to play: the rate stays";
    Play(*s, 0, Waveform::Sine, 1.0);
    ASSERT_TRUE(GenerateWaveforms(*s));
    EXPECT_EQ(s->channels[1].samples, std::vector<double>(10000, 0.0)); // whatever its baseline
}

TEST(Dsp, ABlockFunctionTakesExactlyItsLength) {
    for (std::size_t n : {0, 1, 7, 8, 9, 1027}) { // the grouped part of the loop and its tail
        std::vector<double> x(n + 1);
        for (std::size_t i = 0; i <= n; ++i) x[i] = 0.5 * i - 3.0;
        std::vector<double> sum = x;
        Add(1.25, sum.data(), n);
        for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(sum[i], x[i] + 1.25) << n << " " << i;
        EXPECT_EQ(sum[n], x[n]) << n; // nothing past the length
    }
}

TEST(Dsp, TheTriangleEndsFollowItsAsymmetry) {
    // asym = -π: only the rising part; +π: only the falling part.
    const std::tuple<double, double, double> ends[] = {
        {0, -kPi, -1},    {kPi, -kPi, 0},         {2 * kPi - 1e-9, -kPi, 1},
        {0, kPi, 1},      {1.5 * kPi, kPi, -0.5}, {2 * kPi - 1e-9, kPi, -1},
        {-kPi / 2, 0, 0}, {7 * kPi, 0, -1}};
    for (const auto& [angle, asym, want] : ends) EXPECT_NEAR(TriangleAt(angle, asym), want, 1e-9) << angle;
}

// Halves round to even, a level past the long range gives its end, and what
// is not a level gives 0.
TEST(AnalogOutput, VoltsToCodeGivesTheNearestLongCode) {
    AnalogOutput out;
    out.unitScale = 2.0;
    const std::pair<double, int32_t> cases[] = {
        {1.25, 2}, {1.75, 4}, {-1.25, -2}, {1e12, INT32_MAX}, {std::nan(""), 0}};
    for (const auto& [volts, code] : cases) EXPECT_EQ(out.VoltsToCode(volts), code) << volts;
}

} // namespace
} // namespace velmora::output
