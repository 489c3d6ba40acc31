// VARIANTs of assorted types made from the input: scalars, strings, objects,
// arrays of any dimension and bounds, by-reference ones and invalid tags.
// Every pointer inside is real: storage the builder owns, or the one object
// it was given. Not thread-safe; one builder per run.
#pragma once

#include <velmora/com.h>

#include <deque>

#include "fuzz_support.h"

namespace velmora::fuzz {

inline bool HoldsObject(VARTYPE vt) {
    return vt == VT_DISPATCH || vt == VT_UNKNOWN;
}

class VariantBuilder {
public:
    // object (may be null) is what VT_DISPATCH and VT_UNKNOWN values hold.
    VariantBuilder(ByteReader& in, IDispatch* object) : in_(in), object_(object) {}
    ~VariantBuilder();
    VariantBuilder(const VariantBuilder&) = delete;
    VariantBuilder& operator=(const VariantBuilder&) = delete;

    // A by-value VARIANT owns what it holds; a by-reference one points into
    // storage this builder frees at the end.
    VARIANT Build(int depth = 0);
    BSTR BuildString();
    // A value of a type arrays hold (not VT_VARIANT), as a VARIANT would own it.
    VARIANT Scalar(VARTYPE vt);
    VARTYPE ElementType();
    // Frees a VARIANT built here and checks that it can be: a valid tag, no
    // array still locked.
    void Release(VARIANT& v);

private:
    // Null when the input says so or the cells would be too many.
    SAFEARRAY* BuildArray(VARTYPE vt, int depth);
    VARIANT Reference(int depth);
    // Storage for what a by-reference VARIANT points at: a VARIANT holding
    // the value, freed with the others.
    void* Held(const VARIANT& value);

    ByteReader& in_;
    IDispatch* object_;
    // Storage behind by-reference VARIANTs; deques keep addresses stable.
    std::deque<SAFEARRAY*> arrays_;
    std::deque<VARIANT> variants_;
};

} // namespace velmora::fuzz
