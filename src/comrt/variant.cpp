// VARIANT lifetime: initialise, clear, copy and dereference.
#include "comrt/bstr_internal.h"
#include "comrt/elements.h"
#include "comrt/variant_internal.h"

#include <cstring>

using namespace velmora::com;

namespace {

// Releases what a by-value variant owns; the tag has been checked.
HRESULT ReleaseContents(VARIANT* v) {
    if (v->vt & VT_BYREF) return S_OK;
    if (v->vt & VT_ARRAY) return SafeArrayDestroy(v->parray);
    switch (v->vt) {
    case VT_BSTR:
        SysFreeString(v->bstrVal);
        break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
        if (v->punkVal != nullptr) v->punkVal->Release();
        break;
    default:
        break;
    }
    return S_OK;
}

// Duplicates what a by-value source owns into `target`, a bitwise copy of it.
HRESULT DuplicateContents(VARIANT* target) {
    if (target->vt & VT_BYREF) return S_OK;
    if (target->vt & VT_ARRAY) return SafeArrayCopy(target->parray, &target->parray);
    switch (target->vt) {
    case VT_BSTR: {
        const BSTR original = target->bstrVal;
        target->bstrVal = CopyBstr(original);
        return original != nullptr && target->bstrVal == nullptr ? E_OUTOFMEMORY : S_OK;
    }
    case VT_UNKNOWN:
    case VT_DISPATCH:
        if (target->punkVal != nullptr) target->punkVal->AddRef();
        return S_OK;
    default:
        return S_OK;
    }
}

} // namespace

void VariantInit(VARIANTARG* pvarg) {
    if (pvarg == nullptr) return;
    pvarg->vt = VT_EMPTY;
    pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
    pvarg->llVal = 0;
}

HRESULT VariantClear(VARIANTARG* pvarg) {
    if (pvarg == nullptr) return E_INVALIDARG;
    if (!IsValidVariantType(pvarg->vt)) return DISP_E_BADVARTYPE;
    const HRESULT hr = ReleaseContents(pvarg);
    if (FAILED(hr)) return hr;
    VariantInit(pvarg);
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
    if (pvargDest == nullptr || pvargSrc == nullptr) return E_INVALIDARG;
    if (pvargDest == pvargSrc) return S_OK;
    if (!IsValidVariantType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
    VARIANT copy = *pvargSrc;
    HRESULT hr = DuplicateContents(&copy);
    if (FAILED(hr)) return hr;
    if (FAILED(hr = VariantClear(pvargDest))) {
        ReleaseContents(&copy);
        return hr;
    }
    *pvargDest = copy;
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc) {
    if (pvarDest == nullptr || pvargSrc == nullptr) return E_INVALIDARG;
    if (!IsValidVariantType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
    if ((pvargSrc->vt & VT_BYREF) == 0) return VariantCopy(pvarDest, pvargSrc);
    VARIANT shallow;
    HRESULT hr = ShallowDereference(pvargSrc, &shallow);
    if (FAILED(hr)) return hr;
    // Copy first: the destination may be the source itself.
    VARIANT copy;
    VariantInit(&copy);
    if (FAILED(hr = VariantCopy(&copy, &shallow))) return hr;
    if (pvarDest != pvargSrc && FAILED(hr = VariantClear(pvarDest))) {
        VariantClear(&copy);
        return hr;
    }
    *pvarDest = copy;
    return S_OK;
}

namespace velmora::com {

HRESULT ShallowDereference(const VARIANT* source, VARIANT* shallow) {
    *shallow = *source;
    if ((source->vt & VT_BYREF) == 0) return S_OK;
    VariantInit(shallow);
    if (source->byref == nullptr) return E_INVALIDARG;
    const VARTYPE target = source->vt & ~VT_BYREF;
    if (target == VT_VARIANT) {
        *shallow = *source->pvarVal;
        // Only one level of indirection is allowed.
        return (shallow->vt & VT_BYREF) ? E_INVALIDARG : S_OK;
    }
    const ULONG size = (target & VT_ARRAY) ? sizeof(SAFEARRAY*) : ElementSize(target);
    shallow->vt = target;
    std::memcpy(&shallow->llVal, source->byref, size);
    return S_OK;
}

} // namespace velmora::com
