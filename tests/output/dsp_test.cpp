// The block functions against plain reference loops, over lengths that hit
// both the grouped part of each loop and its tail.
#include "output/dsp.h"

#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace velmora::output {
namespace {

constexpr double kPi = std::numbers::pi;
const std::size_t kLengths[] = {0, 1, 7, 8, 9, 1027};

std::vector<double> Values(std::size_t n, uint32_t seed, double span = 100.0) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> dist(-span, span);
    std::vector<double> v(n);
    for (double& x : v) x = dist(gen);
    return v;
}

TEST(Dsp, ElementWiseOperationsMatchReferenceLoops) {
    for (std::size_t n : kLengths) {
        SCOPED_TRACE(n);
        std::vector<double> x = Values(n, 1), y = Values(n, 2);
        std::vector<double> product = x, sum = x, below = x, above = x, filled(n, 9.0);
        Multiply(product.data(), y.data(), n);
        Add(2.5, sum.data(), n);
        ThresholdBelow(below.data(), n, -10.0);
        ThresholdAbove(above.data(), n, 10.0);
        Set(-4.0, filled.data(), n);
        for (std::size_t i = 0; i < n; ++i) {
            EXPECT_EQ(product[i], x[i] * y[i]);
            EXPECT_EQ(sum[i], x[i] + 2.5);
            EXPECT_EQ(below[i], x[i] < -10.0 ? -10.0 : x[i]);
            EXPECT_EQ(above[i], x[i] > 10.0 ? 10.0 : x[i]);
            EXPECT_EQ(filled[i], -4.0);
        }
    }
}

TEST(Dsp, OperationsLeaveElementsPastTheLengthAlone) {
    std::vector<double> x(12, 1.0), y(12, 3.0);
    std::vector<int16_t> out(12, 77);
    Multiply(x.data(), y.data(), 9);
    Set(5.0, x.data() + 9, 2);
    DoubleToInt16(x.data(), out.data(), 11);
    EXPECT_EQ(x[8], 3.0);
    EXPECT_EQ(x[10], 5.0);
    EXPECT_EQ(x[11], 1.0);
    EXPECT_EQ(out[10], 5);
    EXPECT_EQ(out[11], 77);
}

TEST(Dsp, DoubleToInt16RoundsHalvesToEvenAndClips) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<double> in = {0.5,     1.5,  2.5,     -0.5,     -1.5,     -2.5,  0.49999999999999994,
                                    40000.0, -1e9, 32767.5, -32768.5, 32766.5,  1e300, -3e15,
                                    3e15,    inf,  -inf,    nan,      -31999.6, 1.25,  -7.75};
    const std::vector<int16_t> want = {0,     2,      2,      0,      -2,     -2,    0,
                                       32767, -32768, 32767,  -32768, 32766,  32767, -32768,
                                       32767, 32767,  -32768, 0,      -32000, 1,     -8};
    std::vector<int16_t> out(in.size());
    DoubleToInt16(in.data(), out.data(), in.size());
    for (std::size_t i = 0; i < in.size(); ++i) EXPECT_EQ(out[i], want[i]) << "input " << in[i];
}

TEST(Dsp, DoubleToInt16MatchesNearbyintOverTheWholeRange) {
    std::vector<double> in = Values(1027, 3, 40000.0);
    for (std::size_t i = 0; i < in.size(); i += 3) in[i] = std::trunc(in[i]) + 0.5; // many exact halves
    std::vector<int16_t> out(in.size());
    DoubleToInt16(in.data(), out.data(), in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        const double r = std::clamp(std::nearbyint(in[i]), -32768.0, 32767.0);
        ASSERT_EQ(out[i], static_cast<int16_t>(r)) << "input " << in[i];
    }
}

TEST(Dsp, ToneIsTheCosineOfTheSampleAngle) {
    const double rfreq = 1.0 / 1666.6666666666667, phase = 0.3 * kPi, mag = 2.5;
    std::vector<double> x(5000);
    Tone(x.data(), x.size(), rfreq, phase, mag);
    for (std::size_t k = 0; k < x.size(); k += 7) {
        const long double angle = 2.0L * std::numbers::pi_v<long double> * rfreq * k + phase;
        EXPECT_NEAR(x[k], mag * static_cast<double>(std::cos(angle)), 1e-12) << k;
    }
}

// T for asymmetry asym, written from its corner points rather than the angle
// bounds: the value at t in [0, 1) of a period.
double ReferenceTriangle(double t, double asym) {
    const double corner = (kPi + asym) / (2.0 * kPi);
    if (corner > 0.0 && t <= corner) return 1.0 - 2.0 * (t / corner);
    return -1.0 + 2.0 * ((t - corner) / (1.0 - corner));
}

TEST(Dsp, TriangleFollowsItsCornersForEveryAsymmetry) {
    for (double asym : {-kPi, -kPi / 2, 0.0, kPi / 3, kPi}) {
        SCOPED_TRACE(asym);
        std::vector<double> x(1001);
        Triangle(x.data(), x.size(), 1.0 / 250.0, 0.5 * kPi, 3.0, asym);
        for (std::size_t k = 0; k < x.size(); ++k) {
            const double t = std::fmod(k / 250.0 + 0.25, 1.0);
            ASSERT_NEAR(x[k], 3.0 * ReferenceTriangle(t, asym), 1e-9) << k;
        }
    }
}

TEST(Dsp, TriangleEndsAndWrapping) {
    EXPECT_DOUBLE_EQ(TriangleAt(0.0, 0.0), 1.0);
    EXPECT_DOUBLE_EQ(TriangleAt(kPi, 0.0), -1.0);
    EXPECT_NEAR(TriangleAt(kPi / 2, 0.0), 0.0, 1e-15);
    // asym = -π: only the rising part, so the period starts at the bottom.
    EXPECT_DOUBLE_EQ(TriangleAt(0.0, -kPi), -1.0);
    EXPECT_NEAR(TriangleAt(kPi, -kPi), 0.0, 1e-15);
    EXPECT_NEAR(TriangleAt(2 * kPi - 1e-9, -kPi), 1.0, 1e-9);
    // asym = +π: only the falling part.
    EXPECT_DOUBLE_EQ(TriangleAt(0.0, kPi), 1.0);
    EXPECT_NEAR(TriangleAt(1.5 * kPi, kPi), -0.5, 1e-15);
    EXPECT_NEAR(TriangleAt(2 * kPi - 1e-9, kPi), -1.0, 1e-9);
    // Angles outside [0, 2π) wrap, negative ones included.
    EXPECT_NEAR(TriangleAt(-kPi / 2, 0.0), TriangleAt(1.5 * kPi, 0.0), 1e-15);
    EXPECT_NEAR(TriangleAt(7 * kPi, 0.0), -1.0, 1e-12);
    EXPECT_TRUE(std::isfinite(TriangleAt(-1e-300, kPi)));
}

TEST(Dsp, RandomUniformStaysWithinItsLimitsAndFollowsItsSeed) {
    std::vector<double> a(4099), b(4099), c(4099), reversed(4099);
    RandomUniform(a.data(), a.size(), -1.0, 3.0, 42.125);
    RandomUniform(b.data(), b.size(), -1.0, 3.0, 42.125);
    RandomUniform(c.data(), c.size(), -1.0, 3.0, 42.12500001);
    RandomUniform(reversed.data(), reversed.size(), 3.0, -1.0, 7.0);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    double sum = 0.0, below = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        ASSERT_GE(a[i], -1.0);
        ASSERT_LE(a[i], 3.0);
        ASSERT_GE(reversed[i], -1.0);
        ASSERT_LE(reversed[i], 3.0);
        sum += a[i];
        below += a[i] < 0.0;
    }
    EXPECT_NEAR(sum / a.size(), 1.0, 0.1);
    EXPECT_NEAR(below / a.size(), 0.25, 0.05);
}

} // namespace
} // namespace velmora::output
