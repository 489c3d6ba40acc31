// The host's value types at the interface boundary: UTF-8 text to and from
// BSTR, Boolean, the interfaces' arrays, and the exception firewall every
// member runs in. Pure functions; what they allocate belongs to the caller.
#pragma once

#include <velmora/com.h>

#include "comrt/firewall.h"

#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::driver {

// Allocation failures throw std::bad_alloc (the firewall turns it into
// E_OUTOFMEMORY).
BSTR ToBstr(std::string_view utf8);
std::string FromBstr(BSTR text);

constexpr VARIANT_BOOL ToVariantBool(bool value) {
    return value ? VARIANT_TRUE : VARIANT_FALSE;
}

// 1-D arrays with bounds 0..n-1.
SAFEARRAY* ToStringArray(const std::vector<std::string>& texts);
SAFEARRAY* ToInt16Array(const std::vector<int16_t>& values);
// 2-D Integer array (0..rows-1, 0..columns-1); values hold element (i, k)
// at i + k * rows, which is the array's own layout.
SAFEARRAY* ToInt16Table(int32_t rows, int32_t columns, const std::vector<int16_t>& values);

// The elements of a 1-D array of any lower bound whose elements are Integers
// or convert to Integers (Long, Variant, ...); nothing for a null, empty or
// multi-dimensional array or an element that does not convert.
std::optional<std::vector<int16_t>> FromInt16Array(SAFEARRAY* array);

// Runs a member's body; nothing it throws crosses the interface.
using com::Firewall;

// A property get: E_POINTER for a null result pointer, else *result = read().
template <typename T, typename Read> HRESULT GetValue(T* result, Read&& read) noexcept {
    if (result == nullptr) return E_POINTER;
    return Firewall([&] {
        *result = read();
        return S_OK;
    });
}

// A member without a result: runs body, returns S_OK.
template <typename Body> HRESULT Run(Body&& body) noexcept {
    return Firewall([&] {
        body();
        return S_OK;
    });
}

} // namespace velmora::driver
