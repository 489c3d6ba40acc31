// Descriptor and data helpers shared by the SAFEARRAY functions. An array
// made here carries its element type in a hidden 16-byte block just before
// the descriptor (the type in its last four bytes, as Windows keeps it).
#pragma once

#include <velmora/com.h>

#include <cstddef>
#include <optional>

namespace velmora::com {

// A zeroed descriptor for `dims` dimensions with the hidden block in front;
// null when memory runs out.
SAFEARRAY* NewDescriptor(UINT dims);
void FreeDescriptor(SAFEARRAY* psa);
void SetStoredVartype(SAFEARRAY* psa, VARTYPE vt);
VARTYPE StoredVartype(const SAFEARRAY* psa);

// The number of elements, or nothing when the byte size would overflow.
std::optional<size_t> CellCount(const SAFEARRAY* psa);
// Allocates zeroed data for every element.
HRESULT AllocData(SAFEARRAY* psa);
// Frees what the elements own and, for arrays the runtime allocated, the data.
void DestroyData(SAFEARRAY* psa);

// The bound of dimension `dim`, counted from 1 in index order.
SAFEARRAYBOUND& BoundOf(SAFEARRAY* psa, UINT dim);
// Byte offset of the element at rgIndices (first dimension first), or
// DISP_E_BADINDEX when an index lies outside its bounds.
HRESULT ElementOffset(SAFEARRAY* psa, const LONG* rgIndices, size_t* offset);

} // namespace velmora::com
