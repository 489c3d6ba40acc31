#include "driver/host_values.h"

#include <algorithm>
#include <cstring>

#include "platform/codepage.h"

namespace velmora::driver {
namespace {

SAFEARRAY* NewVector(VARTYPE vt, size_t count) {
    SAFEARRAY* array = SafeArrayCreateVector(vt, 0, static_cast<ULONG>(count));
    if (array == nullptr) throw std::bad_alloc();
    return array;
}

// The element at `index` as an Integer.
bool ElementAsInt16(SAFEARRAY* array, VARTYPE vt, LONG index, int16_t* value) {
    VARIANT element;
    VariantInit(&element);
    if (vt == VT_VARIANT) {
        if (FAILED(SafeArrayGetElement(array, &index, &element))) return false;
    } else if (vt == VT_BSTR) {
        if (FAILED(SafeArrayGetElement(array, &index, &element.bstrVal))) return false;
        element.vt = VT_BSTR;
    } else {
        if (array->cbElements > sizeof element.llVal) return false;
        if (FAILED(SafeArrayGetElement(array, &index, &element.llVal))) return false;
        element.vt = vt;
    }
    VARIANT converted;
    VariantInit(&converted);
    const HRESULT hr = VariantChangeType(&converted, &element, 0, VT_I2);
    VariantClear(&element);
    *value = converted.iVal;
    return SUCCEEDED(hr);
}

} // namespace

BSTR ToBstr(std::string_view utf8) {
    const std::u16string text = platform::Utf8ToUtf16(utf8);
    BSTR result = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (result == nullptr) throw std::bad_alloc();
    return result;
}

std::string FromBstr(BSTR text) {
    if (text == nullptr) return {};
    return platform::Utf16ToUtf8(std::u16string_view(text, SysStringLen(text)));
}

SAFEARRAY* ToStringArray(const std::vector<std::string>& texts) {
    SAFEARRAY* array = NewVector(VT_BSTR, texts.size());
    for (LONG i = 0; i < static_cast<LONG>(texts.size()); ++i) {
        BSTR text = nullptr;
        try {
            text = ToBstr(texts[i]);
        } catch (...) {
            SafeArrayDestroy(array);
            throw;
        }
        const HRESULT hr = SafeArrayPutElement(array, &i, text); // copies the string
        SysFreeString(text);
        if (FAILED(hr)) {
            SafeArrayDestroy(array);
            throw std::bad_alloc();
        }
    }
    return array;
}

SAFEARRAY* ToInt16Array(const std::vector<int16_t>& values) {
    SAFEARRAY* array = NewVector(VT_I2, values.size());
    if (!values.empty()) std::memcpy(array->pvData, values.data(), values.size() * sizeof(int16_t));
    return array;
}

SAFEARRAY* ToInt16Table(int32_t rows, int32_t columns, const std::vector<int16_t>& values) {
    SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(rows), 0}, {static_cast<ULONG>(columns), 0}};
    SAFEARRAY* array = SafeArrayCreate(VT_I2, 2, bounds);
    if (array == nullptr) throw std::bad_alloc();
    const size_t count = std::min(values.size(), static_cast<size_t>(rows) * static_cast<size_t>(columns));
    if (count > 0) std::memcpy(array->pvData, values.data(), count * sizeof(int16_t));
    return array;
}

std::optional<std::vector<int16_t>> FromInt16Array(SAFEARRAY* array) {
    VARTYPE vt = VT_EMPTY;
    LONG lower = 0;
    if (array == nullptr || SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetVartype(array, &vt)) ||
        FAILED(SafeArrayGetLBound(array, 1, &lower))) {
        return std::nullopt;
    }
    // The count from the descriptor: the upper bound of an empty array whose
    // lower bound is the lowest Long wraps round to the highest.
    const int64_t count = array->rgsabound[0].cElements;
    if (count == 0 || int64_t{lower} + count - 1 > INT32_MAX) return std::nullopt;
    std::vector<int16_t> values(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i) {
        if (!ElementAsInt16(array, vt, static_cast<LONG>(lower + i), &values[static_cast<size_t>(i)]))
            return std::nullopt;
    }
    return values;
}

} // namespace velmora::driver
