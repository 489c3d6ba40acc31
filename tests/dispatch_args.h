// Arguments for IDispatch::Invoke as a host builds them.
#pragma once

#include <velmora/com.h>

#include <cstring>

namespace velmora::test {

// An argument VARIANT holding `value` (a number or a pointer); the caller
// keeps what it points at.
template <typename T> VARIANT Arg(VARTYPE vt, T value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    std::memcpy(&v.llVal, &value, sizeof value);
    return v;
}

} // namespace velmora::test
