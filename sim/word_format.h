// Stream word formats of the simulated module: ADC input words, digital input
// words and the output words that X502_PrepareData builds. Pure functions.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "core/module_limits.h"

namespace e16sim {

constexpr double kRefFreq = 48000000.0;
// The ranges are the driver's own rows: the module converts what the driver reads.
constexpr uint32_t kRangeCount = velmora::core::kRanges;
constexpr auto kFullScale = [] {
    std::array<double, kRangeCount> scales{};
    for (uint32_t i = 0; i < kRangeCount; ++i) scales[i] = velmora::core::kInputRanges[i].fullScale;
    return scales;
}();
constexpr double kCodesPerFullScale = 6000000.0;
constexpr int32_t kCodeLimit = 6144000; // the converter clips at 1.024 x full scale

// Input words: bit 31 ADC, bits 29..28 mode, 27..24 channel low bits, 23..0 code.
constexpr uint32_t kAdcFlag = 0x80000000u;

inline int32_t voltsToCode(double volts, uint32_t range) {
    const double code = volts / kFullScale[range] * kCodesPerFullScale;
    if (!(code > -kCodeLimit)) return -kCodeLimit; // NaN lands here too
    if (code >= kCodeLimit) return kCodeLimit;
    // Clipping first commutes with rounding (the limits are integers); adding
    // and removing 1.5 x 2^52 then rounds to nearest, halves to even, like
    // nearbyint in the default mode, without a call.
    return static_cast<int32_t>((code + 0x1.8p52) - 0x1.8p52);
}

// Volts of one code of each range: a multiplication per word, no division.
constexpr auto kVoltsPerCode = [] {
    std::array<double, kRangeCount> volts{};
    for (uint32_t i = 0; i < kRangeCount; ++i) volts[i] = kFullScale[i] / kCodesPerFullScale;
    return volts;
}();

inline double codeToVolts(int32_t code, uint32_t range) {
    return code * kVoltsPerCode[range];
}

inline uint32_t adcWord(uint32_t lch, uint32_t mode, int32_t code) {
    return kAdcFlag | ((mode & 3u) << 28) | ((lch & 0xFu) << 24) | (static_cast<uint32_t>(code) & 0xFFFFFFu);
}

inline bool isAdcWord(uint32_t word) {
    return (word & kAdcFlag) != 0;
}
inline uint32_t adcWordChannel(uint32_t word) {
    return (word >> 24) & 0xFu;
}

inline int32_t adcWordCode(uint32_t word) {
    const uint32_t raw = word & 0xFFFFFFu;
    return (raw & 0x800000u) ? static_cast<int32_t>(raw | 0xFF000000u) : static_cast<int32_t>(raw);
}

// Digital input words: bits 31..30 clear, lines in bits 15..0.
inline uint32_t dinWord(uint32_t lines) {
    return lines & 0xFFFFu;
}

// Output words: bits 31..28 = 0100, bits 25..24 the output, bits 15..0 the data.
enum OutChannel : uint32_t { kOutDac1 = 0, kOutDac2 = 1, kOutDigital = 2, kOutChannels = 3 };
constexpr uint32_t kOutMarker = 0x40000000u;
constexpr double kDacCodesPerVolt = 3200.0; // 32000 codes = 10 V

inline uint32_t outWord(uint32_t channel, uint32_t data) {
    return kOutMarker | ((channel & 3u) << 24) | (data & 0xFFFFu);
}

inline bool decodeOutWord(uint32_t word, uint32_t* channel, uint32_t* data) {
    if ((word & 0xFC000000u) != kOutMarker || ((word >> 24) & 3u) == 3u || (word & 0x00FF0000u) != 0) {
        return false;
    }
    *channel = (word >> 24) & 3u;
    *data = word & 0xFFFFu;
    return true;
}

inline int16_t dacCode(double codeValue) {
    const double code = std::nearbyint(codeValue);
    if (!(code > -32768.0)) return -32768;
    return code >= 32767.0 ? int16_t{32767} : static_cast<int16_t>(code);
}

inline double dacVolts(int16_t code) {
    return code / kDacCodesPerVolt;
}

// Output level (volts for a DAC, line bits for the digital output) of an output word's data.
inline double outLevel(uint32_t channel, uint32_t data) {
    if (channel == kOutDigital) return static_cast<double>(data);
    return dacVolts(static_cast<int16_t>(static_cast<uint16_t>(data)));
}

} // namespace e16sim
