#include "comrt/elements.h"

#include "comrt/bstr_internal.h"

#include <cstring>

namespace velmora::com {

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
