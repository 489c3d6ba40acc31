// SAFEARRAY creation, destruction, shape and locking.
#include "comrt/elements.h"
#include "comrt/safearray_internal.h"

using namespace velmora::com;

namespace {

// The most locks an array takes, as on Windows.
constexpr ULONG kMaxLocks = 65535;

SAFEARRAY* CreateArray(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND* boundsInIndexOrder) {
    const ULONG size = ElementSize(vt);
    if (size == 0 || cDims == 0 || cDims > 0xFFFF || boundsInIndexOrder == nullptr) return nullptr;
    SAFEARRAY* psa = NewDescriptor(cDims);
    if (psa == nullptr) return nullptr;
    psa->fFeatures = FADF_HAVEVARTYPE | FeaturesFor(vt);
    psa->cbElements = size;
    SetStoredVartype(psa, vt);
    for (UINT d = 1; d <= cDims; ++d) BoundOf(psa, d) = boundsInIndexOrder[d - 1];
    if (FAILED(AllocData(psa))) {
        FreeDescriptor(psa);
        return nullptr;
    }
    return psa;
}

HRESULT CheckDim(SAFEARRAY* psa, UINT nDim, const LONG* out) {
    if (psa == nullptr || out == nullptr) return E_INVALIDARG;
    return nDim >= 1 && nDim <= psa->cDims ? S_OK : DISP_E_BADINDEX;
}

} // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
    return CreateArray(vt, cDims, rgsabound);
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    const SAFEARRAYBOUND bound{cElements, lLbound};
    return CreateArray(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (psa == nullptr) return S_OK;
    if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
    DestroyData(psa);
    FreeDescriptor(psa);
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) {
    return psa != nullptr ? psa->cDims : 0;
}

UINT SafeArrayGetElemsize(SAFEARRAY* psa) {
    return psa != nullptr ? psa->cbElements : 0;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    const HRESULT hr = CheckDim(psa, nDim, plLbound);
    if (FAILED(hr)) return hr;
    *plLbound = BoundOf(psa, nDim).lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    const HRESULT hr = CheckDim(psa, nDim, plUbound);
    if (FAILED(hr)) return hr;
    const SAFEARRAYBOUND& bound = BoundOf(psa, nDim);
    // An empty dimension has an upper bound one below its lower bound.
    *plUbound = static_cast<LONG>(int64_t{bound.lLbound} + bound.cElements - 1);
    return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (psa == nullptr || pvt == nullptr) return E_INVALIDARG;
    if (psa->fFeatures & FADF_HAVEVARTYPE) {
        *pvt = StoredVartype(psa);
        return S_OK;
    }
    // Arrays built by hand tell only the kinds that need care.
    for (VARTYPE vt : {VT_BSTR, VT_UNKNOWN, VT_DISPATCH, VT_VARIANT}) {
        if (psa->fFeatures & FeaturesFor(vt)) {
            *pvt = vt;
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
    if (psa == nullptr) return E_INVALIDARG;
    if (psa->cLocks >= kMaxLocks) return E_UNEXPECTED;
    ++psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
    if (psa == nullptr) return E_INVALIDARG;
    if (psa->cLocks == 0) return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (psa == nullptr || ppvData == nullptr) return E_INVALIDARG;
    const HRESULT hr = SafeArrayLock(psa);
    *ppvData = SUCCEEDED(hr) ? psa->pvData : nullptr;
    return hr;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
    return SafeArrayUnlock(psa);
}
