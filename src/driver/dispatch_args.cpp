#include "driver/dispatch_args.h"

#include "comrt/value_types.h"

#include <algorithm>
#include <cstring>

namespace velmora::driver::dispatch {
namespace {

using com::ScalarSize;

VARIANT ScalarVariant(VARTYPE vt, const void* value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    std::memcpy(&v.llVal, value, ScalarSize(vt));
    return v;
}

// Puts the value into the Variant a by-reference Variant argument points at,
// keeping the type the caller had there when it is a plain one.
void WriteIntoVariant(VARIANT& inner, const VARIANT& value) {
    const bool plain = (inner.vt & (VT_ARRAY | VT_BYREF)) == 0 && inner.vt != VT_EMPTY && inner.vt != VT_NULL;
    VARIANT converted;
    VariantInit(&converted);
    if (FAILED(VariantChangeType(&converted, &value, 0, plain ? inner.vt : value.vt))) return;
    VariantClear(&inner);
    inner = converted;
}

} // namespace

HRESULT ConvertScalar(const VARIANT& arg, VARTYPE vt, void* value, size_t size) {
    VARIANT converted;
    VariantInit(&converted);
    const HRESULT hr = VariantChangeType(&converted, &arg, 0, vt);
    if (hr == DISP_E_OVERFLOW) return hr;
    if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
    std::memcpy(value, &converted.llVal, size);
    return S_OK;
}

void WriteBackScalar(VARIANT& arg, VARTYPE vt, const void* value) {
    if ((arg.vt & VT_BYREF) == 0 || arg.byref == nullptr) return;
    const VARIANT from = ScalarVariant(vt, value);
    const VARTYPE target = arg.vt & ~VT_BYREF;
    if (target == VT_VARIANT) {
        WriteIntoVariant(*arg.pvarVal, from);
        return;
    }
    VARIANT converted;
    VariantInit(&converted);
    if (FAILED(VariantChangeType(&converted, &from, 0, target))) return;
    if (target == VT_BSTR) {
        SysFreeString(*arg.pbstrVal);
        *arg.pbstrVal = converted.bstrVal;
    } else if (const size_t size = ScalarSize(target); size != 0) {
        std::memcpy(arg.byref, &converted.llVal, size);
    } else {
        VariantClear(&converted);
    }
}

void* ExactStorage(VARIANT& arg, VARTYPE vt) {
    if (arg.vt == (VT_BYREF | vt)) return arg.byref;
    if (arg.vt == (VT_BYREF | VT_VARIANT) && arg.pvarVal != nullptr && arg.pvarVal->vt == vt) {
        return &arg.pvarVal->llVal;
    }
    return nullptr;
}

SAFEARRAY** ArrayStorage(VARIANT& arg) {
    if ((arg.vt & VT_ARRAY) != 0) return (arg.vt & VT_BYREF) != 0 ? arg.pparray : &arg.parray;
    if (arg.vt == (VT_BYREF | VT_VARIANT) && arg.pvarVal != nullptr) {
        VARIANT& inner = *arg.pvarVal;
        if ((inner.vt & VT_ARRAY) != 0) return (inner.vt & VT_BYREF) != 0 ? inner.pparray : &inner.parray;
    }
    return nullptr;
}

bool AccessElements(SAFEARRAY* array, VARTYPE vt, void** data) {
    VARTYPE stored = VT_EMPTY;
    if (array == nullptr || FAILED(SafeArrayGetVartype(array, &stored)) || stored != vt) return false;
    if (FAILED(SafeArrayAccessData(array, data))) return false;
    if (*data != nullptr) return true;
    // An empty array has no first element to lend; the caller keeps no lock to undo.
    SafeArrayUnaccessData(array);
    return false;
}

int64_t ElementCount(SAFEARRAY* array) {
    const UINT dims = SafeArrayGetDim(array);
    if (dims == 0) return 0;
    int64_t count = 1;
    for (UINT d = 1; d <= dims; ++d) {
        LONG low = 0, high = -1;
        if (FAILED(SafeArrayGetLBound(array, d, &low)) || FAILED(SafeArrayGetUBound(array, d, &high)))
            return 0;
        count *= std::max<int64_t>(int64_t{high} - low + 1, 0);
    }
    return count;
}

void StoreResult(BSTR value, bool, VARIANT* out) {
    if (out == nullptr) {
        SysFreeString(value);
        return;
    }
    out->vt = VT_BSTR;
    out->bstrVal = value;
}

void StoreResult(uint8_t value, bool, VARIANT* out) {
    if (out == nullptr) return;
    out->vt = VT_UI1;
    out->bVal = value;
}

void StoreResult(int16_t value, bool boolean, VARIANT* out) {
    if (out == nullptr) return;
    out->vt = boolean ? VT_BOOL : VT_I2;
    out->iVal = value;
}

void StoreResult(int32_t value, bool, VARIANT* out) {
    if (out == nullptr) return;
    out->vt = VT_I4;
    out->lVal = value;
}

void StoreResult(float value, bool, VARIANT* out) {
    if (out == nullptr) return;
    out->vt = VT_R4;
    out->fltVal = value;
}

void StoreResult(double value, bool, VARIANT* out) {
    if (out == nullptr) return;
    out->vt = VT_R8;
    out->dblVal = value;
}

void StoreResult(SAFEARRAY* value, bool, VARIANT* out) {
    if (out == nullptr) {
        SafeArrayDestroy(value);
        return;
    }
    VARTYPE element = VT_I2;
    if (value != nullptr) SafeArrayGetVartype(value, &element);
    out->vt = VT_ARRAY | element;
    out->parray = value;
}

void StoreResult(IDispatch* value, bool, VARIANT* out) {
    if (out == nullptr) {
        if (value != nullptr) value->Release();
        return;
    }
    out->vt = VT_DISPATCH;
    out->pdispVal = value;
}

} // namespace velmora::driver::dispatch
