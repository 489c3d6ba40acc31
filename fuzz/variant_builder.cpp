#include "variant_builder.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

#include "comrt/value_types.h"

namespace velmora::fuzz {
namespace {

constexpr int kMaxDepth = 2;
constexpr size_t kMaxCells = 64;

constexpr std::array<VARTYPE, 20> kElementTypes = {
    VT_I2,  VT_I4, VT_R8,  VT_BSTR, VT_VARIANT, VT_R4, VT_UI1,  VT_BOOL,     VT_I1,    VT_UI2,
    VT_UI4, VT_I8, VT_UI8, VT_INT,  VT_UINT,    VT_CY, VT_DATE, VT_DISPATCH, VT_ERROR, VT_UNKNOWN};

// Tags no runtime function may take for a valid VARIANT; built with a zero
// payload, so a function that wrongly reads one finds no pointer.
// clang-format off
constexpr std::array<VARTYPE, 17> kInvalidTags = {
    VT_DECIMAL, VT_RECORD, VT_VOID, VT_HRESULT, VT_PTR, VT_SAFEARRAY, VT_CARRAY, VT_USERDEFINED, VT_LPSTR,
    VT_LPWSTR, VT_VARIANT, VT_BYREF | VT_EMPTY, VT_ARRAY | VT_NULL, VT_VECTOR | VT_I4, VT_RESERVED | VT_I2, 15,
    0xFFFF};
// clang-format on

// Lower bounds where arithmetic on bounds goes wrong if it can.
constexpr std::array<LONG, 8> kLowerBounds = {0, 1, -1, INT32_MIN, INT32_MAX, INT32_MAX - 3, INT32_MIN + 1,
                                              7};

bool IsInvalidTag(VARTYPE vt) {
    return std::find(kInvalidTags.begin(), kInvalidTags.end(), vt) != kInvalidTags.end();
}

VARIANT Empty(VARTYPE vt) {
    VARIANT v{};
    v.vt = vt;
    return v;
}

} // namespace

VariantBuilder::~VariantBuilder() {
    for (VARIANT& v : variants_) Release(v);
    for (SAFEARRAY* a : arrays_) Check(SUCCEEDED(SafeArrayDestroy(a)), "an array argument was left locked");
}

VARTYPE VariantBuilder::ElementType() {
    return kElementTypes[in_.Byte() % kElementTypes.size()];
}

BSTR VariantBuilder::BuildString() {
    if (in_.Byte() == 0xFF) return nullptr; // a null BSTR reads as ""
    const std::u16string text = in_.Text(24);
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

VARIANT VariantBuilder::Scalar(VARTYPE vt) {
    VARIANT v = Empty(vt);
    if (vt == VT_BSTR) {
        v.bstrVal = BuildString();
    } else if (HoldsObject(vt)) {
        v.pdispVal = in_.Bool() ? object_ : nullptr;
        if (v.pdispVal != nullptr) v.pdispVal->AddRef();
    } else if (const ULONG bytes = velmora::com::ScalarSize(vt); bytes != 0) {
        const uint64_t bits = in_.U64();
        std::memcpy(&v.llVal, &bits, bytes);
    }
    return v;
}

SAFEARRAY* VariantBuilder::BuildArray(VARTYPE vt, int depth) {
    const UINT dims = in_.Byte() % 4; // 0 dimensions: SafeArrayCreate refuses
    SAFEARRAYBOUND bounds[3] = {};
    size_t cells = 1;
    for (UINT d = 0; d < dims; ++d) {
        const uint8_t shape = in_.Byte();
        bounds[d].cElements = shape % 9;
        bounds[d].lLbound = (shape & 0x80) ? static_cast<LONG>(in_.U32()) : kLowerBounds[(shape >> 4) & 7];
        cells *= bounds[d].cElements;
    }
    SAFEARRAY* array = cells > kMaxCells ? nullptr : SafeArrayCreate(vt, dims, bounds);
    void* data = nullptr;
    if (array == nullptr || FAILED(SafeArrayAccessData(array, &data)) || data == nullptr) {
        if (array != nullptr) SafeArrayUnaccessData(array);
        return array;
    }
    // The array owns what is stored into it directly.
    for (size_t i = 0; i < cells && !in_.Empty(); ++i) {
        const VARIANT element = vt != VT_VARIANT    ? Scalar(vt)
                                : depth < kMaxDepth ? Build(depth + 1)
                                                    : Scalar(VT_I2);
        std::memcpy(static_cast<char*>(data) + i * array->cbElements,
                    vt == VT_VARIANT ? static_cast<const void*>(&element) : &element.llVal,
                    array->cbElements);
    }
    SafeArrayUnaccessData(array);
    return array;
}

void* VariantBuilder::Held(const VARIANT& value) {
    return &variants_.emplace_back(value).llVal;
}

VARIANT VariantBuilder::Reference(int depth) {
    VARIANT v = Empty(VT_BYREF);
    const uint8_t kind = in_.Byte() % 7;
    switch (kind) {
    case 0: // a null reference of a type the members take
        v.vt |= kElementTypes[in_.Byte() % 3];
        break;
    case 1:
    case 2: {
        const VARTYPE vt = ElementType();
        v.vt |= vt == VT_BSTR || vt == VT_VARIANT || HoldsObject(vt) ? VARTYPE{VT_I2} : vt;
        v.byref = Held(Scalar(VT_I8));
        break;
    }
    case 4: {
        const VARTYPE vt = ElementType();
        // Now and then the tag names another element type than the array has.
        v.vt |= VT_ARRAY | (in_.Byte() < 0xE0 ? vt : ElementType());
        v.pparray = &arrays_.emplace_back(BuildArray(vt, depth + 1));
        break;
    }
    case 5:
        v.vt |= VT_VARIANT;
        v.pvarVal = &variants_.emplace_back(depth < kMaxDepth ? Build(depth + 1) : Scalar(VT_I4));
        break;
    default: // 3 and 6: a string or an object
        v.vt |= kind == 3 ? VT_BSTR : VT_DISPATCH;
        v.byref = Held(Scalar(kind == 3 ? VT_BSTR : VT_DISPATCH));
        break;
    }
    return v;
}

VARIANT VariantBuilder::Build(int depth) {
    const uint8_t kind = in_.Byte();
    if (kind < 0x60) return Scalar(kElementTypes[kind % kElementTypes.size()]);
    if (kind < 0x68) return Scalar(kind & 1 ? VT_NULL : VT_EMPTY);
    if (kind >= 0x90) return kind < 0xF0 ? Reference(depth) : Empty(kInvalidTags[kind % kInvalidTags.size()]);
    const VARTYPE vt = ElementType();
    VARIANT v = Empty(VT_ARRAY | (in_.Byte() < 0xE0 ? vt : ElementType()));
    v.parray = depth < kMaxDepth ? BuildArray(vt, depth) : nullptr;
    return v;
}

void VariantBuilder::Release(VARIANT& v) {
    if (IsInvalidTag(v.vt))
        VariantInit(&v); // built with nothing in it
    else
        Check(SUCCEEDED(VariantClear(&v)), "a VARIANT could not be cleared: a bad tag or a locked array");
}

} // namespace velmora::fuzz
