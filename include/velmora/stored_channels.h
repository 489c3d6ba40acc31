// The driver's stored channel table as the driver and its hosts both read
// and write it: the key it lives under, one byte per logical channel (the
// physical input, with a bit for a single-ended one), and the name the
// driver gives each input. Header-only: the one owner of the layout.
#pragma once

#include <cstdint>
#include <string>

namespace velmora::stored {

// The driver's settings keys under HKEY_CURRENT_USER: this one's sub-key
// named after the module kind holds the module-independent settings, and
// its sub-keys named after serial numbers the settings of each module.
inline constexpr const char* kSettingsRoot = "Software\\Tervan\\ADC\\L-Card";
inline std::string DriverKey(const std::string& kind = "E16") {
    return std::string(kSettingsRoot) + "\\" + kind;
}

inline constexpr const char* kChannelTableValue = "ADChannels";
inline constexpr int kTableChannels = 32;
inline constexpr uint8_t kSingleEndedBit = 0x20;

// A channel's byte: physical input 0..31, measured against ground or not.
constexpr uint8_t ChannelByte(int source, bool singleEnded) {
    return static_cast<uint8_t>(source % kTableChannels + (singleEnded ? kSingleEndedBit : 0));
}
constexpr int ByteSource(uint8_t byte) {
    return byte % kTableChannels;
}
constexpr bool ByteSingleEnded(uint8_t byte) {
    return (byte & kSingleEndedBit) != 0;
}

// X1..X16, Y1..Y16 against ground; XY1..XY16 differentially, and the
// calibration zero for the upper half.
inline std::string InputName(int source, bool singleEnded) {
    constexpr int kHalf = kTableChannels / 2;
    // Appended rather than "X" + to_string(...): GCC 12 warns falsely about
    // the latter at -O3.
    if (singleEnded)
        return std::string(source < kHalf ? "X" : "Y").append(std::to_string(source % kHalf + 1));
    return source < kHalf ? std::string("XY").append(std::to_string(source + 1)) : "Calibration 0";
}

} // namespace velmora::stored
