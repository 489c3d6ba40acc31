#include "engine/volts_to_codes.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace velmora::engine {
namespace {

constexpr double kLowest = -32768.0;
constexpr double kHighest = 32767.0;

// A run of at most one period, scales from the pattern's start.
using Run = void (*)(const double* volts, const double* scales, int16_t* out, std::size_t count);

void ScalarRun(const double* volts, const double* scales, int16_t* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) out[i] = CodeOf(volts[i] * scales[i]);
}

#if defined(__x86_64__)

// NaN becomes +0 and everything is capped at the highest code. Nothing is
// clipped from below: a value under the 32-bit range converts to the
// lowest 32-bit integer, and the saturating pack takes all below -32768 to
// -32768. Capping before the conversion commutes with its rounding (the
// bound is an integer).
inline __m128d Clean(__m128d v) {
    v = _mm_and_pd(v, _mm_cmpord_pd(v, v));
    return _mm_min_pd(v, _mm_set1_pd(kHighest));
}

// The conversion rounds in the current mode: to nearest, halves to even.
void Sse2Run(const double* volts, const double* scales, int16_t* out, std::size_t count) {
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        __m128i lo[2], hi[2];
        for (int h = 0; h < 2; ++h) {
            const std::size_t at = i + 4 * static_cast<std::size_t>(h);
            const __m128d a = Clean(_mm_mul_pd(_mm_loadu_pd(volts + at), _mm_loadu_pd(scales + at)));
            const __m128d b = Clean(_mm_mul_pd(_mm_loadu_pd(volts + at + 2), _mm_loadu_pd(scales + at + 2)));
            lo[h] = _mm_cvtpd_epi32(a);
            hi[h] = _mm_cvtpd_epi32(b);
        }
        const __m128i first = _mm_unpacklo_epi64(lo[0], hi[0]);
        const __m128i second = _mm_unpacklo_epi64(lo[1], hi[1]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi32(first, second));
    }
    ScalarRun(volts + i, scales + i, out + i, count - i);
}

__attribute__((target("avx2"))) inline __m256d Clean256(__m256d v) {
    v = _mm256_and_pd(v, _mm256_cmp_pd(v, v, _CMP_ORD_Q));
    return _mm256_min_pd(v, _mm256_set1_pd(kHighest));
}

__attribute__((target("avx2"))) inline __m128i Quad(const double* volts, const double* scales) {
    return _mm256_cvtpd_epi32(Clean256(_mm256_mul_pd(_mm256_loadu_pd(volts), _mm256_loadu_pd(scales))));
}

__attribute__((target("avx2"))) void Avx2Run(const double* volts, const double* scales, int16_t* out,
                                             std::size_t count) {
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i q0 = Quad(volts + i, scales + i), q1 = Quad(volts + i + 4, scales + i + 4);
        const __m128i q2 = Quad(volts + i + 8, scales + i + 8), q3 = Quad(volts + i + 12, scales + i + 12);
        // The pack works per 128-bit lane: lanes (q0, q2) and (q1, q3) give q0 q1 q2 q3.
        const __m256i packed = _mm256_packs_epi32(_mm256_set_m128i(q2, q0), _mm256_set_m128i(q3, q1));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), packed);
    }
    Sse2Run(volts + i, scales + i, out + i, count - i);
}

#endif

Run RunOf(CodeKernel kernel) {
#if defined(__x86_64__)
    if (kernel == CodeKernel::Avx2) return Avx2Run;
    if (kernel == CodeKernel::Sse2) return Sse2Run;
#endif
    (void)kernel;
    return ScalarRun;
}

} // namespace

bool KernelRuns(CodeKernel kernel) {
#if defined(__x86_64__)
    if (kernel == CodeKernel::Avx2) return __builtin_cpu_supports("avx2");
    return true; // SSE2 is part of x86-64
#else
    return kernel == CodeKernel::Scalar;
#endif
}

CodeKernel BestKernel() {
    static const CodeKernel best = KernelRuns(CodeKernel::Avx2)   ? CodeKernel::Avx2
                                   : KernelRuns(CodeKernel::Sse2) ? CodeKernel::Sse2
                                                                  : CodeKernel::Scalar;
    return best;
}

int16_t CodeOf(double value) {
    if (std::isnan(value)) return 0;
    const double code = std::nearbyint(value);
    if (code < kLowest) return INT16_MIN;
    if (code > kHighest) return INT16_MAX;
    return static_cast<int16_t>(code);
}

CodeScales::CodeScales(const std::vector<double>& perChannel) {
    const std::size_t n = perChannel.size();
    if (n == 0) return;
    // Long enough that a block is walked in few runs, short enough for the first cache.
    const std::size_t unit = std::lcm(n, kLanes);
    pattern_.resize(unit * ((kMinPeriod + unit - 1) / unit));
    for (std::size_t i = 0; i < pattern_.size(); ++i) pattern_[i] = perChannel[i % n];
}

void VoltsToCodes(CodeKernel kernel, const double* volts, const CodeScales& scales, int16_t* out,
                  std::size_t count) {
    const std::size_t period = scales.period();
    if (period == 0) return;
    const Run run = KernelRuns(kernel) ? RunOf(kernel) : ScalarRun;
    for (std::size_t done = 0; done < count; done += period)
        run(volts + done, scales.data(), out + done, std::min(period, count - done));
}

} // namespace velmora::engine
