// A vendor table of recording fakes: every call is logged as "Name(args)" and
// answers with a code the test chose. One process-wide state; tests reset it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "device/vendor_api.h"

namespace velmora::test {

struct FakeVendor {
    std::vector<std::string> calls;
    std::map<std::string, int32_t> results; // by entry name; 0 when absent
    uint32_t version = (1u << 24) | (1u << 16) | (34u << 8);
    bool createFails = false;
    t_x502_info info{};
    std::vector<std::string> usbSerials;
    std::string errorText;
    uint32_t inDig = 0;
    uint32_t recvReady = 0;
    uint32_t processCount = 0;
    uint32_t sendFree = 0;
    std::vector<uint8_t> flash = std::vector<uint8_t>(3 * 4096);

    static FakeVendor& Get();
    static t_x502_hnd FakeHandle();
    void Reset() { *this = FakeVendor{}; }
    // Every entry point bound to the fakes.
    static device::VendorApi Table();
    // The logged calls whose names start with prefix.
    std::vector<std::string> CallsOf(const std::string& prefix) const;
};

} // namespace velmora::test
