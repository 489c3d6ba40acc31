// VARIANT helpers shared by the runtime's copy and conversion code. Pure
// functions on caller-owned values.
#pragma once

#include <velmora/com.h>

namespace velmora::com {

// The value a by-reference variant points at, as a by-value variant that
// shares (does not own) its contents. A by-value source is copied bitwise.
HRESULT ShallowDereference(const VARIANT* source, VARIANT* shallow);

} // namespace velmora::com
