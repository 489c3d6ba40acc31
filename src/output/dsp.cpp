#include "output/dsp.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace velmora::output {

namespace {

// splitmix64: each output depends only on its counter, so the loop below
// has no carried state and the seed's every bit matters.
constexpr uint64_t kGolden = 0x9E3779B97F4A7C15ull;

uint64_t Mix(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// The whole cycles of rfreq * k are dropped before scaling to radians, so a
// long buffer keeps the precision of its first period.
double CycleAngle(double rfreq, std::size_t k, double phase) {
    const double cycles = rfreq * static_cast<double>(k);
    return kTwoPi * (cycles - std::floor(cycles)) + phase;
}

double WrapAngle(double angle) {
    double a = std::fmod(angle, kTwoPi);
    if (a < 0.0) a += kTwoPi;
    return a < kTwoPi ? a : 0.0; // -tiny + 2π can round up to 2π
}

// Adding and removing 1.5 * 2^52 leaves the value rounded to an integer in
// the current (default: nearest, halves to even) mode. Exact for |v| < 2^51;
// anything larger stays far outside the 16-bit range and is clipped after.
constexpr double kRoundMagic = 6755399441055744.0;

// GCC's -O2 cost model vectorises only loops whose trip count is a known
// multiple of the vector width: run the body in fixed groups, then the tail.
constexpr std::size_t kGroup = 8;

template <class Body> inline void ForEach(std::size_t n, Body body) {
    std::size_t i = 0;
    for (; i + kGroup <= n; i += kGroup)
        for (std::size_t j = 0; j < kGroup; ++j) body(i + j);
    for (; i < n; ++i) body(i);
}

} // namespace

void Set(double value, double* __restrict x, std::size_t n) {
    ForEach(n, [=](std::size_t i) { x[i] = value; });
}

void RandomUniform(double* __restrict x, std::size_t n, double low, double high, double seed) {
    uint64_t bits = 0;
    std::memcpy(&bits, &seed, sizeof bits);
    const uint64_t base = Mix(bits);
    const double span = high - low;
    const double lo = std::min(low, high), hi = std::max(low, high);
    for (std::size_t i = 0; i < n; ++i) {
        const uint64_t z = Mix(base + (i + 1) * kGolden);
        const double u = static_cast<double>(z >> 11) * 0x1p-53; // [0, 1)
        x[i] = std::clamp(low + span * u, lo, hi);
    }
}

void Tone(double* __restrict x, std::size_t n, double rfreq, double phase, double mag) {
    for (std::size_t k = 0; k < n; ++k) x[k] = mag * std::cos(CycleAngle(rfreq, k, phase));
}

double TriangleAt(double angle, double asym) {
    const double t = WrapAngle(angle);
    const double h = kPi + asym;
    // h = 0 (asym = -π) has no falling part: the rising one starts at t = 0.
    if (h > 0.0 && t <= h) return 1.0 - 2.0 * t / h;
    return -1.0 + 2.0 * (t - h) / (kTwoPi - h);
}

void Triangle(double* __restrict x, std::size_t n, double rfreq, double phase, double mag, double asym) {
    for (std::size_t k = 0; k < n; ++k) x[k] = mag * TriangleAt(CycleAngle(rfreq, k, phase), asym);
}

void Add(double value, double* __restrict x, std::size_t n) {
    ForEach(n, [=](std::size_t i) { x[i] += value; });
}

void ThresholdBelow(double* __restrict x, std::size_t n, double threshold) {
    // Quiet comparisons: a trapping one keeps GCC from making the select branch-free.
    ForEach(n, [=](std::size_t i) { x[i] = std::isless(x[i], threshold) ? threshold : x[i]; });
}

void ThresholdAbove(double* __restrict x, std::size_t n, double threshold) {
    ForEach(n, [=](std::size_t i) { x[i] = std::isgreater(x[i], threshold) ? threshold : x[i]; });
}

void DoubleToInt16(const double* __restrict x, int16_t* __restrict out, std::size_t n) {
    // Rounded before the clip: clipping first lets GCC fold the rounding into
    // the clipped branches, and the loop no longer vectorises.
    ForEach(n, [=](std::size_t i) {
        double v = (x[i] + kRoundMagic) - kRoundMagic;
        v = std::isunordered(v, v) ? 0.0 : v;
        v = std::isless(v, -32768.0) ? -32768.0 : v;
        v = std::isgreater(v, 32767.0) ? 32767.0 : v;
        out[i] = static_cast<int16_t>(static_cast<int32_t>(v));
    });
}

} // namespace velmora::output
