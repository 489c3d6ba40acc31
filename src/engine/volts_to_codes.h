// The worker's one pass from the library's volts to the ring's codes: each
// value times its channel's codes per volt, NaN as 0, rounded to the nearest
// integer (halves to even), clipped to -32768..32767 and packed to 16 bits.
// A scalar reference and vector kernels that give the same bits, the widest
// one the processor runs picked at run time. Pure functions; thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora::engine {

enum class CodeKernel { Scalar, Sse2, Avx2 };

// Whether this processor (and build) runs the kernel.
bool KernelRuns(CodeKernel kernel);
// The widest kernel that runs here; chosen once.
CodeKernel BestKernel();

// The code of one value already in codes (the reference).
int16_t CodeOf(double value);

// Codes per volt for each position of a kadr, repeated to a whole number of
// vector widths so that a kernel walks it without a division per value.
class CodeScales {
public:
    static constexpr std::size_t kLanes = 16;
    static constexpr std::size_t kMinPeriod = 256;

    CodeScales() = default;
    explicit CodeScales(const std::vector<double>& perChannel);
    const double* data() const { return pattern_.data(); }
    // A multiple of both the channels and kLanes; 0 when there are no channels.
    std::size_t period() const { return pattern_.size(); }

private:
    std::vector<double> pattern_;
};

// out[i] = CodeOf(volts[i] * scale of position i) for i < count, where
// position 0 is the first channel of a kadr.
void VoltsToCodes(CodeKernel kernel, const double* volts, const CodeScales& scales, int16_t* out,
                  std::size_t count);

} // namespace velmora::engine
