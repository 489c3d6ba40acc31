// Calls as a host makes them: a member's answer through the vtable, and
// IDispatch calls with their arguments built and passed in natural order.
#pragma once

#include <gtest/gtest.h>
#include <velmora/com.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

namespace velmora::test {

// A member's answer, S_OK expected; `value` when it writes none.
template <typename Face, typename T>
T Get(Face* face, HRESULT (Face::*member)(T*), std::type_identity_t<T> value = T(-1)) {
    EXPECT_EQ((face->*member)(&value), S_OK);
    return value;
}
// A Boolean member such as StartRecord, Busy or Test.
template <typename Face> bool Ask(Face* face, HRESULT (Face::*member)(VARIANT_BOOL*)) {
    return Get(face, member, VARIANT_FALSE) == VARIANT_TRUE;
}

// An argument VARIANT holding `value` (a number or a pointer); the caller
// keeps what it points at.
template <typename T> VARIANT Arg(VARTYPE vt, T value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    std::memcpy(&v.llVal, &value, sizeof value);
    return v;
}
// A vector of Integers for an array argument; the caller destroys it.
inline SAFEARRAY* Int16Vector(const std::vector<int16_t>& values) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I2, 0, static_cast<ULONG>(values.size()));
    std::copy(values.begin(), values.end(), static_cast<int16_t*>(array->pvData));
    return array;
}

inline DISPID DispIdOf(IDispatch* target, std::u16string name) {
    LPOLESTR names[] = {name.data()};
    DISPID id = 0; // must be set, even for an unknown name
    target->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
    return id;
}

// Invoke with `args` in natural order (reversed in place); a let names its
// value, which comes last.
inline HRESULT InvokeNatural(IDispatch* target, DISPID id, WORD flags, std::vector<VARIANT>& args,
                             VARIANT* result, UINT* argErr) {
    std::reverse(args.begin(), args.end());
    DISPID named = DISPID_PROPERTYPUT;
    const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
    DISPPARAMS params{args.data(), put ? &named : nullptr, static_cast<UINT>(args.size()), put ? 1u : 0u};
    return target->Invoke(id, IID_NULL, 0, flags, &params, result, nullptr, argErr);
}

} // namespace velmora::test
