// The least a C++ host does to record, as the reference for the Python
// package's record(): the driver created by its ProgID, the simulated
// module at 127.0.0.1 with single-ended inputs, channels 0..31 at 15625
// kadrs/s for the seconds given, drained every 20 ms (as record() drains)
// with GetData into one array, nothing else. Exits 1 when the recording
// did not fill it.
//   record_host SECONDS
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "com_host.h"

namespace {

constexpr int16_t kChannels = 32;
constexpr float kRate = 15625.0f;
constexpr auto kDrainPeriod = std::chrono::milliseconds(20);
constexpr int32_t kRingSamples = 1048576; // the driver's default

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc == 2 ? std::atof(argv[1]) : 0.0;
    if (!(seconds > 0.0)) {
        std::fprintf(stderr, "usage: record_host SECONDS\n");
        return 2;
    }
    velmora::bench::ComHost host;
    std::string error;
    if (!host.Open(error) || !host.Start(kChannels, kRate, kRingSamples, error)) {
        std::fprintf(stderr, "record_host: %s\n", error.c_str());
        return 1;
    }
    const auto rows = static_cast<int64_t>(std::lround(seconds * kRate));
    std::vector<int16_t> codes(static_cast<std::size_t>(rows) * kChannels);
    int64_t filled = 0;
    while (filled < rows) {
        const auto room = static_cast<int32_t>((rows - filled) * kChannels);
        const int32_t taken = host.GetData(codes.data() + filled * kChannels, room);
        filled += taken;
        if (taken == 0 && !host.Busy()) break;
        if (taken == 0) std::this_thread::sleep_for(kDrainPeriod);
    }
    host.Stop();
    if (filled == rows) return 0;
    std::fprintf(stderr, "record_host: %lld of %lld kadrs\n", static_cast<long long>(filled),
                 static_cast<long long>(rows));
    return 1;
}
