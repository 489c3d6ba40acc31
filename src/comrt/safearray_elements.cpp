// SAFEARRAY element access, resizing and deep copies.
#include "comrt/bstr_internal.h"
#include "comrt/elements.h"
#include "comrt/safearray_internal.h"

#include <cstdlib>
#include <cstring>

using namespace velmora::com;

namespace {

// Arrays whose memory belongs to someone else and cannot be reallocated.
constexpr USHORT kNotResizable = FADF_AUTO | FADF_STATIC | FADF_EMBEDDED | FADF_FIXEDSIZE;

HRESULT LocateElement(SAFEARRAY* psa, LONG* rgIndices, char** element) {
    if (psa == nullptr || rgIndices == nullptr) return E_INVALIDARG;
    size_t offset = 0;
    const HRESULT hr = ElementOffset(psa, rgIndices, &offset);
    if (FAILED(hr)) return hr;
    if (psa->pvData == nullptr) return E_UNEXPECTED;
    *element = static_cast<char*>(psa->pvData) + offset;
    return S_OK;
}

// Puts one value into its element; the old value is freed only once the new
// one has been copied.
HRESULT StoreElement(SAFEARRAY* psa, char* element, void* pv) {
    const USHORT features = psa->fFeatures;
    const ULONG size = psa->cbElements;
    // Strings and interfaces are passed as the pointer itself.
    const bool byValue = (features & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH)) != 0;
    const void* source = byValue ? static_cast<const void*>(&pv) : pv;
    if (!byValue && pv == nullptr) return E_INVALIDARG;
    alignas(VARIANT) char fresh[sizeof(VARIANT)] = {};
    if (size > sizeof(fresh)) return E_UNEXPECTED;
    const HRESULT hr = CopyElement(features, size, fresh, source);
    if (FAILED(hr)) return hr;
    ClearElement(features, size, element);
    std::memcpy(element, fresh, size);
    return S_OK;
}

HRESULT CopyAllElements(SAFEARRAY* target, const SAFEARRAY* source, size_t cells) {
    const auto* from = static_cast<const char*>(source->pvData);
    auto* to = static_cast<char*>(target->pvData);
    const ULONG size = source->cbElements;
    for (size_t i = 0; i < cells; ++i) {
        const HRESULT hr = CopyElement(source->fFeatures, size, to + i * size, from + i * size);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

} // namespace

HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData) {
    if (ppvData == nullptr) return E_INVALIDARG;
    char* element = nullptr;
    const HRESULT hr = LocateElement(psa, rgIndices, &element);
    *ppvData = SUCCEEDED(hr) ? element : nullptr;
    return hr;
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    char* element = nullptr;
    HRESULT hr = LocateElement(psa, rgIndices, &element);
    if (FAILED(hr)) return hr;
    if (FAILED(hr = SafeArrayLock(psa))) return hr;
    hr = StoreElement(psa, element, pv);
    SafeArrayUnlock(psa);
    return hr;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (pv == nullptr) return E_INVALIDARG;
    char* element = nullptr;
    HRESULT hr = LocateElement(psa, rgIndices, &element);
    if (FAILED(hr)) return hr;
    if (FAILED(hr = SafeArrayLock(psa))) return hr;
    std::memset(pv, 0, psa->cbElements);
    hr = CopyElement(psa->fFeatures, psa->cbElements, pv, element);
    SafeArrayUnlock(psa);
    return hr;
}

HRESULT SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew) {
    if (psa == nullptr || psaboundNew == nullptr || psa->cDims == 0) return E_INVALIDARG;
    if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
    if (psa->fFeatures & kNotResizable) return E_INVALIDARG;
    // The last dimension varies slowest, so the kept elements stay in place.
    SAFEARRAYBOUND& last = BoundOf(psa, psa->cDims);
    const auto oldCells = CellCount(psa);
    const SAFEARRAYBOUND oldBound = last;
    last = *psaboundNew;
    const auto newCells = CellCount(psa);
    if (!oldCells || !newCells) {
        last = oldBound;
        return E_OUTOFMEMORY;
    }
    auto* data = static_cast<char*>(psa->pvData);
    const ULONG size = psa->cbElements;
    for (size_t i = *newCells; i < *oldCells; ++i) ClearElement(psa->fFeatures, size, data + i * size);
    if (*newCells == 0) {
        std::free(data);
        psa->pvData = nullptr;
        return S_OK;
    }
    auto* grown = static_cast<char*>(std::realloc(data, *newCells * size));
    if (grown == nullptr) {
        last = oldBound;
        return E_OUTOFMEMORY;
    }
    if (*newCells > *oldCells) std::memset(grown + *oldCells * size, 0, (*newCells - *oldCells) * size);
    psa->pvData = grown;
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (ppsaOut == nullptr) return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (psa == nullptr) return S_OK;
    SAFEARRAY* copy = NewDescriptor(psa->cDims);
    if (copy == nullptr) return E_OUTOFMEMORY;
    copy->fFeatures =
        psa->fFeatures & (FADF_HAVEVARTYPE | FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT);
    copy->cbElements = psa->cbElements;
    if (psa->fFeatures & FADF_HAVEVARTYPE) SetStoredVartype(copy, StoredVartype(psa));
    for (UINT d = 1; d <= psa->cDims; ++d) BoundOf(copy, d) = BoundOf(psa, d);
    HRESULT hr = AllocData(copy);
    if (SUCCEEDED(hr) && copy->pvData != nullptr && psa->pvData != nullptr)
        hr = CopyAllElements(copy, psa, *CellCount(copy));
    if (FAILED(hr)) {
        SafeArrayDestroy(copy);
        return hr;
    }
    *ppsaOut = copy;
    return S_OK;
}
