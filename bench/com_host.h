// ComHost: the driver as a host program reaches it, for the benchmarks that
// measure the driver from outside: created by its ProgID (this build's driver
// registered in a private store), the simulated module at 127.0.0.1 with its
// inputs single-ended, recordings started, drained with GetData and stopped.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include <velmora/com_ptr.h>
#include <velmora/interfaces.h>

namespace velmora::bench {

class ComHost {
public:
    // A private registry store (XDG_CONFIG_HOME) and no display.
    ComHost();
    ~ComHost();
    ComHost(const ComHost&) = delete;
    ComHost& operator=(const ComHost&) = delete;

    // Stores single-ended inputs, creates the driver and detects the module;
    // false with `error` set.
    bool Open(std::string& error);
    // Channels 0..channels-1 at `rate` kadrs/s with a ring of `ringSamples`;
    // false with the driver's text in `error`.
    bool Start(int16_t channels, float rate, int32_t ringSamples, std::string& error);
    // GetData into `buffer` of `capacity` samples: the kadrs written.
    int32_t GetData(int16_t* buffer, int32_t capacity);
    bool Busy();
    void Stop();
    // Why the last recording ended by itself; "" when it did not.
    std::string EndReason();

private:
    std::filesystem::path store_;
    ComPtr<IADC3> adc_;
    ComPtr<IModule> module_;
};

} // namespace velmora::bench
