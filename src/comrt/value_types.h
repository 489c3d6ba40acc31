// The value types a VARIANT or an array holds, one row each: the bytes a
// value takes, how it reads as a number, and the integers it holds. The
// runtime's arrays and conversions and the driver's dispatch all take their
// sizes and ranges from these rows. Header-only and constexpr.
#pragma once

#include <cstdint>
#include <limits>

#include <velmora/com.h>

namespace velmora::com {

enum class ValueKind {
    Signed,   // two's complement of its size
    Unsigned, // of its size
    Boolean,  // VARIANT_BOOL: 0 or -1
    Real,     // float or double by its size
    Currency, // a 64-bit count of ten-thousandths
    Date,     // a double that is not converted as a number to text
    Error,    // an HRESULT: no number converts to or from it
    Owned,    // a pointer the value owns: string, interface, variant
};

struct ValueType {
    VARTYPE vt;
    ULONG size; // bytes in an array and in a VARIANT's union
    ValueKind kind;
    // The integers it holds exactly, for the conversions to it.
    int64_t min = 0;
    int64_t max = 0;
};

template <typename T> constexpr ValueType Integer(VARTYPE vt) {
    return {vt, sizeof(T), std::numeric_limits<T>::is_signed ? ValueKind::Signed : ValueKind::Unsigned,
            static_cast<int64_t>(std::numeric_limits<T>::min()),
            static_cast<uint64_t>(std::numeric_limits<T>::max()) > uint64_t{INT64_MAX}
                ? INT64_MAX
                : static_cast<int64_t>(std::numeric_limits<T>::max())};
}

inline constexpr ValueType kValueTypes[] = {
    Integer<int8_t>(VT_I1),
    Integer<uint8_t>(VT_UI1),
    Integer<int16_t>(VT_I2),
    Integer<uint16_t>(VT_UI2),
    Integer<int32_t>(VT_I4),
    Integer<uint32_t>(VT_UI4),
    Integer<int32_t>(VT_INT),
    Integer<uint32_t>(VT_UINT),
    Integer<int64_t>(VT_I8),
    Integer<uint64_t>(VT_UI8),
    {VT_BOOL, sizeof(VARIANT_BOOL), ValueKind::Boolean},
    {VT_ERROR, sizeof(int32_t), ValueKind::Error},
    {VT_R4, sizeof(float), ValueKind::Real},
    {VT_R8, sizeof(double), ValueKind::Real},
    {VT_CY, sizeof(int64_t), ValueKind::Currency},
    {VT_DATE, sizeof(double), ValueKind::Date},
    {VT_BSTR, sizeof(void*), ValueKind::Owned},
    {VT_DISPATCH, sizeof(void*), ValueKind::Owned},
    {VT_UNKNOWN, sizeof(void*), ValueKind::Owned},
    {VT_VARIANT, sizeof(VARIANT), ValueKind::Owned},
};

// The row of a base type; null for a type no value has.
constexpr const ValueType* ValueTypeOf(VARTYPE vt) {
    for (const ValueType& row : kValueTypes)
        if (row.vt == vt) return &row;
    return nullptr;
}

// Bytes of one value in an array; 0 for a type that cannot be an element.
constexpr ULONG ElementSize(VARTYPE vt) {
    const ValueType* row = ValueTypeOf(vt);
    return row != nullptr ? row->size : 0;
}

// Bytes of a scalar that a VARIANT holds in place (no pointer it owns); 0 for any other type.
constexpr ULONG ScalarSize(VARTYPE vt) {
    const ValueType* row = ValueTypeOf(vt);
    return row != nullptr && row->kind != ValueKind::Owned ? row->size : 0;
}

} // namespace velmora::com
