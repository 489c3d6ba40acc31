#include "comrt/safearray_internal.h"

#include "comrt/elements.h"

#include <cstdlib>
#include <cstring>

namespace velmora::com {
namespace {

constexpr size_t kHidden = 16;
// Arrays the runtime did not allocate, whose memory it must not free.
constexpr USHORT kForeignMemory = FADF_AUTO | FADF_STATIC | FADF_EMBEDDED;

char* Base(const SAFEARRAY* psa) {
    return const_cast<char*>(reinterpret_cast<const char*>(psa)) - kHidden;
}

} // namespace

SAFEARRAY* NewDescriptor(UINT dims) {
    const size_t bytes = kHidden + offsetof(SAFEARRAY, rgsabound) + dims * sizeof(SAFEARRAYBOUND);
    auto* base = static_cast<char*>(std::calloc(1, bytes));
    if (base == nullptr) return nullptr;
    auto* psa = reinterpret_cast<SAFEARRAY*>(base + kHidden);
    psa->cDims = static_cast<USHORT>(dims);
    return psa;
}

void FreeDescriptor(SAFEARRAY* psa) {
    if (psa != nullptr && (psa->fFeatures & kForeignMemory) == 0) std::free(Base(psa));
}

void SetStoredVartype(SAFEARRAY* psa, VARTYPE vt) {
    const uint32_t value = vt;
    std::memcpy(Base(psa) + kHidden - sizeof(value), &value, sizeof(value));
}

VARTYPE StoredVartype(const SAFEARRAY* psa) {
    uint32_t value = 0;
    std::memcpy(&value, Base(psa) + kHidden - sizeof(value), sizeof(value));
    return static_cast<VARTYPE>(value);
}

std::optional<size_t> CellCount(const SAFEARRAY* psa) {
    size_t cells = 1;
    const SAFEARRAYBOUND* bounds = psa->rgsabound;
    for (UINT d = 0; d < psa->cDims; ++d) {
        if (__builtin_mul_overflow(cells, bounds[d].cElements, &cells)) return std::nullopt;
    }
    size_t bytes = 0;
    if (__builtin_mul_overflow(cells, psa->cbElements, &bytes)) return std::nullopt;
    return cells;
}

HRESULT AllocData(SAFEARRAY* psa) {
    const auto cells = CellCount(psa);
    if (!cells) return E_OUTOFMEMORY;
    psa->pvData = nullptr;
    if (*cells == 0) return S_OK;
    psa->pvData = std::calloc(*cells, psa->cbElements);
    return psa->pvData != nullptr ? S_OK : E_OUTOFMEMORY;
}

void DestroyData(SAFEARRAY* psa) {
    if (psa->pvData == nullptr) return;
    const auto cells = CellCount(psa);
    if (cells && (psa->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT))) {
        auto* data = static_cast<char*>(psa->pvData);
        for (size_t i = 0; i < *cells; ++i)
            ClearElement(psa->fFeatures, psa->cbElements, data + i * psa->cbElements);
    }
    if ((psa->fFeatures & kForeignMemory) == 0) {
        std::free(psa->pvData);
        psa->pvData = nullptr;
    }
}

SAFEARRAYBOUND& BoundOf(SAFEARRAY* psa, UINT dim) {
    SAFEARRAYBOUND* bounds = psa->rgsabound;
    return bounds[psa->cDims - dim];
}

HRESULT ElementOffset(SAFEARRAY* psa, const LONG* rgIndices, size_t* offset) {
    size_t cell = 0;
    size_t stride = 1;
    for (UINT d = 1; d <= psa->cDims; ++d) {
        const SAFEARRAYBOUND& bound = BoundOf(psa, d);
        const int64_t index = int64_t{rgIndices[d - 1]} - bound.lLbound;
        if (index < 0 || index >= int64_t{bound.cElements}) return DISP_E_BADINDEX;
        cell += static_cast<size_t>(index) * stride;
        stride *= bound.cElements;
    }
    *offset = cell * psa->cbElements;
    return S_OK;
}

} // namespace velmora::com
