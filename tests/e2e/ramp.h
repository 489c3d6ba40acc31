// Follows the simulator's frame ramp on Y16 read on the ±10 V range:
// code = -16000 + 32 x (frame mod 1000), so every kadr's frame is known and a
// lost or repeated kadr shows.
#pragma once

#include <cstdint>

namespace e2e {

class RampCheck {
public:
    void Add(int16_t code) {
        const int32_t offset = code + 16000;
        const int32_t step = offset / 32;
        if (offset % 32 != 0 || step < 0 || step >= 1000) ++bad_;
        if (kadrs_ == 0) {
            first_ = step;
        } else if (step == last_) {
            ++repeated_;
        } else if (step != (last_ + 1) % 1000) {
            ++lost_;
        }
        last_ = step;
        ++kadrs_;
    }

    int64_t kadrs() const { return kadrs_; }
    int64_t lost() const { return lost_; }         // breaks where frames are missing
    int64_t repeated() const { return repeated_; } // kadrs that came twice
    int64_t bad() const { return bad_; }           // codes that are no ramp value
    int32_t first() const { return first_; }       // frame (mod 1000) of the first kadr

private:
    int64_t kadrs_ = 0, lost_ = 0, repeated_ = 0, bad_ = 0;
    int32_t first_ = -1, last_ = -1;
};

} // namespace e2e
