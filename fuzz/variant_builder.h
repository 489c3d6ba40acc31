// VariantBuilder: VARIANTs of assorted types (scalars, strings, objects,
// arrays of any dimension and bounds, by-reference ones, invalid tags) made
// from the input. Every pointer inside is real: storage the builder owns, or
// the one object it was given. Not thread-safe; one builder per run.
#pragma once

#include <velmora/com.h>

#include <deque>

#include "fuzz_support.h"

namespace velmora::fuzz {

class VariantBuilder {
public:
    // object (may be null) is what VT_DISPATCH and VT_UNKNOWN values hold.
    VariantBuilder(ByteReader& in, IDispatch* object) : in_(in), object_(object) {}
    ~VariantBuilder();
    VariantBuilder(const VariantBuilder&) = delete;
    VariantBuilder& operator=(const VariantBuilder&) = delete;

    // A by-value VARIANT owns what it holds (VariantClear frees it); a
    // by-reference one points into storage this builder frees at the end.
    VARIANT Build(int depth = 0);
    // An array of element type vt (0 picks one); null when the input says so
    // or the bounds are too large to allocate here.
    SAFEARRAY* BuildArray(VARTYPE vt, int depth);
    BSTR BuildString();
    VARTYPE ElementType();

    // Frees a VARIANT built by Build and checks that what it holds can be
    // freed: a valid tag, no array still locked.
    void Release(VARIANT& v);

    static constexpr int kMaxDepth = 2;
    static constexpr size_t kMaxCells = 64;

private:
    void FillArray(SAFEARRAY* array, VARTYPE vt, int depth);
    VARIANT Scalar(VARTYPE vt);
    VARIANT Reference(int depth);

    ByteReader& in_;
    IDispatch* object_;
    // Storage behind by-reference VARIANTs; deques keep addresses stable.
    std::deque<uint64_t> scalars_;
    std::deque<BSTR> strings_;
    std::deque<SAFEARRAY*> arrays_;
    std::deque<VARIANT> variants_;
    std::deque<IDispatch*> objects_;
};

// Tags that no runtime function may take for a valid VARIANT; built with a
// zero payload, so a function that wrongly reads one finds no pointer.
bool IsInvalidTag(VARTYPE vt);

} // namespace velmora::fuzz
