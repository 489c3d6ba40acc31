// What the runtime knows about each value type: its size, whether a VARIANT
// or an array may hold it, and how to copy and free one value of it.
// Pure functions; the values belong to the calling thread.
#pragma once

#include <velmora/com.h>

#include "comrt/value_types.h"

namespace velmora::com {

// The FADF_ flags that tell an array of `vt` how to copy and free elements.
USHORT FeaturesFor(VARTYPE vt);
// Whether a VARIANT may carry this type tag (plain, VT_ARRAY or VT_BYREF).
bool IsValidVariantType(VARTYPE vt);

// Releases what one element owns (string, interface, variant) and zeroes it.
void ClearElement(USHORT features, ULONG size, void* element);
// Copies one element into zeroed storage, duplicating what it owns.
HRESULT CopyElement(USHORT features, ULONG size, void* target, const void* source);

} // namespace velmora::com
