#include "comrt/elements.h"

#include "comrt/bstr_internal.h"

#include <cstring>

namespace velmora::com {

ULONG ElementSize(VARTYPE vt) {
    switch (vt) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
        return 4;
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_I8:
    case VT_UI8:
        return 8;
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
        return sizeof(void*);
    case VT_VARIANT:
        return sizeof(VARIANT);
    default:
        return 0;
    }
}

USHORT FeaturesFor(VARTYPE vt) {
    switch (vt) {
    case VT_BSTR:
        return FADF_BSTR;
    case VT_UNKNOWN:
        return FADF_UNKNOWN;
    case VT_DISPATCH:
        return FADF_DISPATCH;
    case VT_VARIANT:
        return FADF_VARIANT;
    default:
        return 0;
    }
}

bool IsValidVariantType(VARTYPE vt) {
    const VARTYPE base = vt & VT_TYPEMASK;
    const VARTYPE modifiers = vt & ~VT_TYPEMASK;
    if (modifiers & ~(VT_ARRAY | VT_BYREF)) return false;
    if (base == VT_EMPTY || base == VT_NULL) return modifiers == 0;
    // A variant holds another variant only by reference or as array elements.
    if (base == VT_VARIANT) return modifiers != 0;
    return ElementSize(base) != 0;
}

void ClearElement(USHORT features, ULONG size, void* element) {
    if (features & FADF_BSTR) {
        SysFreeString(*static_cast<BSTR*>(element));
    } else if (features & (FADF_UNKNOWN | FADF_DISPATCH)) {
        if (auto* unknown = *static_cast<IUnknown**>(element)) unknown->Release();
    } else if (features & FADF_VARIANT) {
        VariantClear(static_cast<VARIANT*>(element));
    }
    std::memset(element, 0, size);
}

HRESULT CopyElement(USHORT features, ULONG size, void* target, const void* source) {
    if (features & FADF_BSTR) {
        const BSTR text = *static_cast<const BSTR*>(source);
        BSTR copy = CopyBstr(text);
        if (text != nullptr && copy == nullptr) return E_OUTOFMEMORY;
        *static_cast<BSTR*>(target) = copy;
        return S_OK;
    }
    if (features & FADF_VARIANT) {
        VariantInit(static_cast<VARIANT*>(target));
        return VariantCopy(static_cast<VARIANT*>(target), static_cast<const VARIANT*>(source));
    }
    std::memcpy(target, source, size);
    if (features & (FADF_UNKNOWN | FADF_DISPATCH)) {
        if (auto* unknown = *static_cast<IUnknown* const*>(source)) unknown->AddRef();
    }
    return S_OK;
}

} // namespace velmora::com
