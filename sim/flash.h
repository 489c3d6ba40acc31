// The module's 1 MiB configuration flash: 4096-byte sectors, erased to 0xFF,
// written like NOR flash (a write can only clear bits) and only while write
// access is enabled. Not locked itself: the simulator lock guards it.
#pragma once

#include <cstdint>
#include <vector>

namespace e16sim {

class Flash {
public:
    static constexpr uint32_t kSize = 1u << 20;
    static constexpr uint32_t kSector = 4096;

    int32_t read(uint32_t addr, uint8_t* data, uint32_t size);
    int32_t erase(uint32_t addr, uint32_t size);
    int32_t write(uint32_t addr, const uint8_t* data, uint32_t size);

    void setWriteEnabled(bool enabled) { writeEnabled_ = enabled; }
    bool writeEnabled() const { return writeEnabled_; }
    void wipe();

private:
    static int32_t checkRange(uint32_t addr, uint32_t size);
    void materialize();

    std::vector<uint8_t> bytes_; // empty until first touched: all 0xFF
    bool writeEnabled_ = false;
};

} // namespace e16sim
