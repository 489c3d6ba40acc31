// What the recorder's benchmarks measure with: the calling thread's CPU time
// and the median of repeated figures.
#pragma once

#include <time.h>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace velmora::bench {

inline double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

inline double Median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

} // namespace velmora::bench
