// The number types of cRegistry, one row each in VELMORA_CREGISTRY_NUMBERS,
// and how each is kept in the store (StoredNumber): in a REG_DWORD, or in 8
// little-endian bytes of REG_BINARY. cRegistry's typed members at both
// locations and cRegistryBatch's writes are made from these, so a type is
// encoded in one place.
#pragma once

#include <bit>
#include <cstdint>

// X(Name, T): Get/Set/Read/Write<Name> and Get/Set<Name>At take and give a T.
// Long is the store's own 32-bit number, the rest ride on it or on 8 bytes.
#define VELMORA_CREGISTRY_NUMBERS(X)                                                                         \
    X(Long, int32_t)                                                                                         \
    X(Byte, uint8_t)                                                                                         \
    X(Integer, int16_t)                                                                                      \
    X(Boolean, bool)                                                                                         \
    X(Single, float)                                                                                         \
    X(Double, double)                                                                                        \
    X(Currency, int64_t)

namespace velmora::settings::detail {

// kDword: kept as a 32-bit pattern (Encode/Decode to and from uint32_t),
// else as 8 bytes (to and from uint64_t).
template <class T> struct StoredNumber;

template <> struct StoredNumber<int32_t> {
    static constexpr bool kDword = true;
    static uint32_t Encode(int32_t v) { return static_cast<uint32_t>(v); }
    static int32_t Decode(uint32_t v) { return static_cast<int32_t>(v); }
};
template <> struct StoredNumber<uint8_t> {
    static constexpr bool kDword = true;
    static uint32_t Encode(uint8_t v) { return v; }
    static uint8_t Decode(uint32_t v) { return static_cast<uint8_t>(v); }
};
// The 16-bit pattern in the low half, the upper half zero.
template <> struct StoredNumber<int16_t> {
    static constexpr bool kDword = true;
    static uint32_t Encode(int16_t v) { return static_cast<uint16_t>(v); }
    static int16_t Decode(uint32_t v) { return static_cast<int16_t>(v & 0xFFFF); }
};
// 1 or 0; any nonzero reads true.
template <> struct StoredNumber<bool> {
    static constexpr bool kDword = true;
    static uint32_t Encode(bool v) { return v ? 1 : 0; }
    static bool Decode(uint32_t v) { return v != 0; }
};
template <> struct StoredNumber<float> {
    static constexpr bool kDword = true;
    static uint32_t Encode(float v) { return std::bit_cast<uint32_t>(v); }
    static float Decode(uint32_t v) { return std::bit_cast<float>(v); }
};
template <> struct StoredNumber<double> {
    static constexpr bool kDword = false;
    static uint64_t Encode(double v) { return std::bit_cast<uint64_t>(v); }
    static double Decode(uint64_t v) { return std::bit_cast<double>(v); }
};
// Currency: the value x 10000.
template <> struct StoredNumber<int64_t> {
    static constexpr bool kDword = false;
    static uint64_t Encode(int64_t v) { return static_cast<uint64_t>(v); }
    static int64_t Decode(uint64_t v) { return static_cast<int64_t>(v); }
};

} // namespace velmora::settings::detail
