// The waveform generator on a record described like a detected module with a
// DAC (10000 buffer words, ±10 V, 500 kHz at most), and the block functions
// it is built from.
#include "output/waveforms.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "driver/driver_state.h"
#include "output/dsp.h"

namespace velmora::output {
namespace {

using driver::DriverState;

constexpr double kPi = std::numbers::pi;
constexpr double kCodesPerVolt = 3200.0;
enum : int16_t { kOff = 0, kDc = 1, kNoise = 2, kSine = 3, kPulse = 4, kRamp = 5, kTriangle = 6 };

std::unique_ptr<DriverState> Generator(double freq = 100.0) {
    auto s = std::make_unique<DriverState>();
    s->dacVoltMax = 10.0;
    s->dacVoltMin = -10.0;
    s->dacUnitScale = kCodesPerVolt;
    s->dacOutRateMax = 500000.0;
    s->dacSignalFreqMin = 0.5;
    s->dacSignalFreqMax = 100000.0;
    s->dacSignalFreq = freq;
    s->dacBufferWords = 10000;
    return s;
}

// Channel ch plays kind with amplitude and baseline in volts.
void Play(DriverState& s, int ch, int16_t kind, double a, double b = 0.0, double phase = 0.0) {
    auto& c = s.dacChannels[ch];
    c.waveform = kind;
    c.amplitude = static_cast<int32_t>(a * kCodesPerVolt);
    c.baseline = static_cast<int32_t>(b * kCodesPerVolt);
    c.phase = phase;
}

TEST(Waveforms, SizesTheBufferAndChoosesTheRate) {
    // Asked and kept frequency, channels, buffer length, periods in it, output rate.
    const std::tuple<double, double, int, int32_t, int, double> cases[] = {
        {100, 100, 2, 5000, 1, 500000},           {100, 100, 1, 10000, 2, 500000},
        {300, 300, 2, 5000, 3, 500000},           {0.5, 0.5, 2, 5000, 1, 2500},
        {100000, 100000, 1, 10000, 2000, 500000}, {0.2, 0.5, 2, 5000, 1, 2500}};
    for (const auto& [asked, kept, channels, length, periods, rate] : cases) {
        SCOPED_TRACE(asked);
        auto s = Generator(asked);
        for (int ch = 0; ch < channels; ++ch) Play(*s, ch, kPulse, 1.0);
        ASSERT_TRUE(GenerateWaveforms(*s));
        EXPECT_EQ(std::tuple(s->dacActiveCount, s->dacBufferLength, s->dacOutRate, s->dacSignalFreq),
                  std::tuple(channels, length, rate, kept));
        const auto& x = s->dacChannels[0].samples;
        ASSERT_EQ(x.size(), static_cast<std::size_t>(length));
        int falls = 0; // one fall from +A to -A per period
        for (std::size_t i = 1; i < x.size(); ++i) falls += x[i - 1] > 0.0 && x[i] < 0.0;
        EXPECT_EQ(falls, periods);
    }
}

TEST(Waveforms, ValuesOfEachKindAtKnownPoints) {
    // One channel at 100 Hz: 5000 samples per period.
    struct Case {
        int16_t kind;
        double a, b, phase;
        std::vector<std::pair<std::size_t, double>> points;
    };
    const Case cases[] = {
        {kSine, 1, 0, 0, {{0, 0}, {1250, 1}, {3750, -1}, {5000, 0}}},
        {kSine, 1.5, 2, 0.25, {{0, 3.5}, {1250, 2}}},
        {kSine, -1.5, 2, 0, {{0, 2}, {1250, 0.5}, {3750, 3.5}}},
        {kSine, 8, 5, 0, {{1250, 10}, {3750, -3}}}, // clipped at the top
        {kDc, 3, 2, 0, {{0, 3}, {9999, 3}}},
        {kDc, -12, 0, 0, {{0, -10}}},
        {kPulse, -2, 1, 0, {{0, -1}, {2499, -1}, {2500, 3}, {4999, 3}, {5000, -1}, {9999, 3}}},
        {kRamp,
         2,
         1,
         0,
         {{0, 1}, {1250, 2}, {2499, 1 + 2 * 2499 / 2500.0}, {2501, -1 + 2 / 2500.0}, {3750, 0}}},
        {kRamp, -2, 1, 0, {{0, 3}, {1250, 2}, {2500, 1}, {3750, 0}, {4999, -1 + 4 / 5000.0}}},
        {kTriangle, 2, 1, 0, {{0, -1}, {1250, 1}, {2500, 3}, {3750, 1}}},
        {kTriangle, -2, 1, 0, {{0, 3}, {1250, 1}, {2500, -1}, {3750, 1}}}};
    for (const Case& c : cases) {
        auto s = Generator();
        Play(*s, 0, c.kind, c.a, c.b, c.phase);
        ASSERT_TRUE(GenerateWaveforms(*s));
        for (const auto& [i, v] : c.points)
            EXPECT_NEAR(s->dacChannels[0].samples.at(i), v, 1e-9) << c.kind << " A " << c.a << " at " << i;
    }
}

TEST(Waveforms, NoiseStaysInItsBandAndIsNewEachBuild) {
    auto s = Generator();
    Play(*s, 0, kNoise, 1.0, 2.0);
    ASSERT_TRUE(GenerateWaveforms(*s));
    const std::vector<double> first = s->dacChannels[0].samples;
    ASSERT_TRUE(GenerateWaveforms(*s));
    EXPECT_NE(first, s->dacChannels[0].samples);
    const auto [lo, hi] = std::minmax_element(first.begin(), first.end());
    EXPECT_GE(*lo, 1.0);
    EXPECT_LE(*hi, 3.0);
    EXPECT_LT(*hi - *lo, 2.0 + 1e-12);
    EXPECT_GT(*hi - *lo, 1.98); // the whole band, not a narrow part of it
}

TEST(Waveforms, OffChannelsBuildNothingOrZeros) {
    auto s = Generator();
    s->dacOutRate = 1234.0;
    s->dacActiveCount = 2;
    Play(*s, 1, kOff, 3.0, 5.0, 0.5);
    EXPECT_FALSE(GenerateWaveforms(*s));
    EXPECT_EQ(std::tuple(s->dacActiveCount, s->dacOutRate), std::tuple(0, 1234.0));
    Play(*s, 0, kSine, 1.0);
    ASSERT_TRUE(GenerateWaveforms(*s));
    EXPECT_EQ(s->dacChannels[1].samples, std::vector<double>(10000, 0.0)); // whatever its baseline
}

TEST(Dsp, DoubleToInt16RoundsHalvesToEvenClipsAndZeroesNaN) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, int16_t> cases[] = {
        {0.5, 0},         {1.5, 2},           {2.5, 2},         {-0.5, 0},      {-2.5, -2},
        {32767.5, 32767}, {-32768.5, -32768}, {32766.5, 32766}, {40000, 32767}, {-1e9, -32768},
        {3e15, 32767},    {inf, 32767},       {-inf, -32768},   {-7.75, -8},    {std::nan(""), 0}};
    std::vector<double> in; // one call: the grouped part of the loop and its tail
    for (const auto& c : cases) in.push_back(c.first);
    std::vector<int16_t> out(in.size());
    DoubleToInt16(in.data(), out.data(), in.size());
    for (std::size_t i = 0; i < in.size(); ++i) EXPECT_EQ(out[i], cases[i].second) << in[i];
}

TEST(Dsp, MultiplyAndTheTriangleEnds) {
    for (std::size_t n : {0, 1, 7, 8, 9, 1027}) { // the grouped part of the loop and its tail
        std::vector<double> x(n + 1), y(n + 1);
        for (std::size_t i = 0; i <= n; ++i) x[i] = 0.5 * i - 3.0, y[i] = 1.25 - 0.75 * i;
        std::vector<double> product = x;
        Multiply(product.data(), y.data(), n);
        for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(product[i], x[i] * y[i]) << n << " " << i;
        EXPECT_EQ(product[n], x[n]) << n; // nothing past the length
    }
    // asym = -π: only the rising part; +π: only the falling part.
    const std::tuple<double, double, double> ends[] = {
        {0, -kPi, -1},    {kPi, -kPi, 0},         {2 * kPi - 1e-9, -kPi, 1},
        {0, kPi, 1},      {1.5 * kPi, kPi, -0.5}, {2 * kPi - 1e-9, kPi, -1},
        {-kPi / 2, 0, 0}, {7 * kPi, 0, -1}};
    for (const auto& [angle, asym, want] : ends) EXPECT_NEAR(TriangleAt(angle, asym), want, 1e-9) << angle;
}

} // namespace
} // namespace velmora::output
