// VariantChangeType between the numeric types, Boolean and text. Numbers as
// text use '.' as the decimal point whatever the LCID; rounding to integers
// goes half to even, as Windows does.
#include "comrt/elements.h"
#include "comrt/number_text.h"
#include "comrt/value_types.h"
#include "comrt/variant_internal.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>

using namespace velmora::com;

namespace {

// The integer in the first `size` bytes of the union, widened.
int64_t SignedIn(const VARIANT& v, ULONG size) {
    switch (size) {
    case 1:
        return static_cast<int8_t>(v.cVal);
    case 2:
        return v.iVal;
    case 4:
        return v.lVal;
    default:
        return v.llVal;
    }
}

uint64_t UnsignedIn(const VARIANT& v, ULONG size) {
    switch (size) {
    case 1:
        return v.bVal;
    case 2:
        return v.uiVal;
    case 4:
        return v.ulVal;
    default:
        return v.ullVal;
    }
}

bool ReadNumber(const VARIANT& v, Number* n) {
    if (v.vt == VT_EMPTY) {
        *n = {};
        return true;
    }
    const ValueType* row = ValueTypeOf(v.vt);
    if (row == nullptr) return false;
    switch (row->kind) {
    case ValueKind::Signed:
        *n = {true, SignedIn(v, row->size), 0};
        return true;
    case ValueKind::Unsigned: {
        const uint64_t u = UnsignedIn(v, row->size);
        *n = u <= uint64_t{INT64_MAX} ? Number{true, static_cast<int64_t>(u), 0}
                                      : Number{false, 0, static_cast<double>(u)};
        return true;
    }
    case ValueKind::Boolean:
        *n = {true, v.boolVal != 0 ? -1 : 0, 0};
        return true;
    case ValueKind::Real:
        *n = {false, 0, row->size == sizeof(float) ? v.fltVal : v.dblVal};
        return true;
    case ValueKind::Date:
        *n = {false, 0, v.dblVal};
        return true;
    case ValueKind::Currency:
        *n = {false, 0, static_cast<double>(v.cyVal.int64) / 10000.0};
        return true;
    default:
        return false;
    }
}

// The number rounded half to even as a 64-bit integer, if it fits.
bool RoundToInt64(const Number& n, int64_t* out) {
    if (n.integral) {
        *out = n.i;
        return true;
    }
    const double r = std::nearbyint(n.d);
    if (!(r >= -0x1p63 && r < 0x1p63)) return false;
    *out = static_cast<int64_t>(r);
    return true;
}

HRESULT WriteInteger(const Number& n, const ValueType& row, VARIANT* out) {
    int64_t value = 0;
    if (!RoundToInt64(n, &value) || value < row.min || value > row.max) return DISP_E_OVERFLOW;
    switch (row.size) {
    case 1:
        out->bVal = static_cast<uint8_t>(value);
        break;
    case 2:
        out->uiVal = static_cast<uint16_t>(value);
        break;
    case 4:
        out->ulVal = static_cast<uint32_t>(value);
        break;
    default:
        out->llVal = value;
        break;
    }
    out->vt = row.vt;
    return S_OK;
}

HRESULT WriteUnsigned64(const Number& n, VARIANT* out) {
    if (n.integral) {
        if (n.i < 0) return DISP_E_OVERFLOW;
        out->ullVal = static_cast<uint64_t>(n.i);
    } else {
        const double r = std::nearbyint(n.d);
        if (!(r >= 0 && r < 0x1p64)) return DISP_E_OVERFLOW;
        out->ullVal = static_cast<uint64_t>(r);
    }
    out->vt = VT_UI8;
    return S_OK;
}

HRESULT WriteCurrency(const Number& n, VARIANT* out) {
    int64_t scaled = 0;
    if (n.integral) {
        if (__builtin_mul_overflow(n.i, int64_t{10000}, &scaled)) return DISP_E_OVERFLOW;
    } else if (!RoundToInt64(Number{false, 0, n.d * 10000.0}, &scaled)) {
        return DISP_E_OVERFLOW;
    }
    out->cyVal.int64 = scaled;
    out->vt = VT_CY;
    return S_OK;
}

HRESULT WriteNumber(const Number& n, VARTYPE vt, VARIANT* out) {
    const ValueType* row = ValueTypeOf(vt);
    if (row == nullptr) return DISP_E_TYPEMISMATCH;
    const double d = n.AsDouble();
    switch (row->kind) {
    case ValueKind::Signed:
        return WriteInteger(n, *row, out);
    case ValueKind::Unsigned:
        // Past INT64_MAX a 64-bit count holds what no signed row does.
        return row->size == sizeof(uint64_t) ? WriteUnsigned64(n, out) : WriteInteger(n, *row, out);
    case ValueKind::Currency:
        return WriteCurrency(n, out);
    case ValueKind::Boolean:
        out->boolVal = (n.integral ? n.i != 0 : d != 0) ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    case ValueKind::Real:
        if (row->size == sizeof(double)) {
            out->dblVal = d;
            break;
        }
        if (std::isfinite(d) && std::fabs(d) > FLT_MAX) return DISP_E_OVERFLOW;
        out->fltVal = static_cast<float>(d);
        break;
    case ValueKind::Date:
        out->dblVal = d;
        break;
    default:
        return DISP_E_TYPEMISMATCH;
    }
    out->vt = vt;
    return S_OK;
}

HRESULT FormatText(const VARIANT& v, USHORT flags, std::string* text) {
    if (v.vt == VT_EMPTY) { // no text, not the 0 it is as a number
        text->clear();
        return S_OK;
    }
    const ValueType* row = ValueTypeOf(v.vt);
    const ValueKind kind = row != nullptr ? row->kind : ValueKind::Owned;
    if (kind == ValueKind::Real) {
        *text = row->size == sizeof(float) ? FormatReal(v.fltVal, 7) : FormatReal(v.dblVal, 15);
        return S_OK;
    }
    if (kind == ValueKind::Currency) {
        *text = FormatCurrency(v.cyVal.int64);
        return S_OK;
    }
    if (kind == ValueKind::Unsigned && row->size == sizeof(uint64_t)) {
        *text = std::to_string(v.ullVal);
        return S_OK;
    }
    if (kind == ValueKind::Date) return DISP_E_TYPEMISMATCH;
    if (kind == ValueKind::Boolean && (flags & VARIANT_ALPHABOOL)) {
        *text = v.boolVal ? "True" : "False";
        return S_OK;
    }
    Number n;
    if (!ReadNumber(v, &n)) return DISP_E_TYPEMISMATCH;
    *text = std::to_string(n.i);
    return S_OK;
}

HRESULT WriteText(const VARIANT& v, USHORT flags, VARIANT* out) {
    std::string text;
    const HRESULT hr = FormatText(v, flags, &text);
    if (FAILED(hr)) return hr;
    std::u16string wide(text.begin(), text.end());
    out->bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (out->bstrVal == nullptr) return E_OUTOFMEMORY;
    out->vt = VT_BSTR;
    return S_OK;
}

// Converts a by-value source into a fresh, empty `out`.
HRESULT Convert(const VARIANT& value, USHORT flags, VARTYPE vt, VARIANT* out) {
    if (value.vt == vt) return VariantCopy(out, &value);
    if (vt == VT_EMPTY) return S_OK;
    if (vt == VT_BSTR) return WriteText(value, flags, out);
    if (value.vt == VT_BSTR && vt == VT_BOOL) {
        out->vt = VT_BOOL;
        return ParseBool(value.bstrVal, &out->boolVal);
    }
    // Integers past INT64_MAX would go through a double and lose their low digits.
    if (value.vt == VT_BSTR && vt == VT_UI8 && ParseUnsigned64(value.bstrVal, &out->ullVal)) {
        out->vt = VT_UI8;
        return S_OK;
    }
    Number n;
    if (value.vt == VT_BSTR) {
        const HRESULT hr = ParseNumber(value.bstrVal, &n);
        if (FAILED(hr)) return hr;
    } else if (!ReadNumber(value, &n)) {
        return DISP_E_TYPEMISMATCH;
    }
    return WriteNumber(n, vt, out);
}

} // namespace

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt) {
    if (pvargDest == nullptr || pvarSrc == nullptr) return E_INVALIDARG;
    if (!IsValidVariantType(pvarSrc->vt) || !IsValidVariantType(vt)) return DISP_E_BADVARTYPE;
    if (vt & VT_BYREF) return DISP_E_TYPEMISMATCH;
    VARIANT value;
    HRESULT hr = ShallowDereference(pvarSrc, &value);
    if (FAILED(hr)) return hr;
    VARIANT result;
    VariantInit(&result);
    if (FAILED(hr = Convert(value, wFlags, vt, &result))) {
        VariantClear(&result);
        return hr;
    }
    // The destination may be the source: clear it only once the result exists.
    if (FAILED(hr = VariantClear(pvargDest))) {
        VariantClear(&result);
        return hr;
    }
    *pvargDest = result;
    return S_OK;
}
