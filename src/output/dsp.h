// Block functions over whole arrays of doubles, written as plain loops for the
// compiler to vectorise: waveform synthesis for the output generator and the
// worker's scale-and-convert step. Pure functions of their arguments; thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <numbers>

namespace velmora::output {

inline constexpr double kPi = std::numbers::pi;
inline constexpr double kTwoPi = 2.0 * std::numbers::pi;

// out[i] = x[i] rounded to the nearest integer (halves to even) and clipped to
// -32768..32767; NaN gives 0 (a sample with no value reads as silence).
void DoubleToInt16(const double* x, int16_t* out, std::size_t n);

// x[i] = value.
void Set(double value, double* x, std::size_t n);
// x[i] += value.
void Add(double value, double* x, std::size_t n);
// Elements below threshold become threshold.
void ThresholdBelow(double* x, std::size_t n, double threshold);
// Elements above threshold become threshold.
void ThresholdAbove(double* x, std::size_t n, double threshold);

// n values uniformly distributed between low and high (either order). The same
// seed gives the same sequence; any change of the seed's bits gives another.
void RandomUniform(double* x, std::size_t n, double low, double high, double seed);

// x[k] = mag * cos(2π * rfreq * k + phase); rfreq in cycles per sample, phase in radians.
void Tone(double* x, std::size_t n, double rfreq, double phase, double mag);

// x[k] = mag * TriangleAt(2π * rfreq * k + phase, asym).
void Triangle(double* x, std::size_t n, double rfreq, double phase, double mag, double asym);
// The triangle of asymmetry asym (-π..π) at an angle taken modulo 2π into
// [0, 2π): 1 at 0, falling to -1 at H = π + asym, rising back to 1 at 2π.
// asym = -π leaves only the rising part (-1 at 0), asym = π only the falling one.
double TriangleAt(double angle, double asym);

} // namespace velmora::output
