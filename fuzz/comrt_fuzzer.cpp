// The runtime's BSTR, SAFEARRAY and VARIANT functions as a sequence of up to
// 48 operations on a few strings, arrays and VARIANTs (VT_DISPATCH ones hold
// a counting object). Sizes that would allocate more than 1 MiB are asked
// for only when their byte count overflows, where the runtime must refuse
// without allocating.
// Checks: lengths and contents of strings, bounds, elements read back as
// written, copies equal their source, integers survive a trip through text,
// locks count, and the object's references balance at the end.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "variant_builder.h"

namespace {

using velmora::fuzz::ByteReader;
using velmora::fuzz::Check;
using velmora::fuzz::VariantBuilder;

constexpr size_t kSlots = 4;
constexpr uint64_t kMaxBytes = 1 << 20;
constexpr UINT kMaxBstrChars = 0x7FFFFFF0u / 2;

// An IDispatch that only counts its references.
struct CountingObject final : IDispatch {
    ULONG references = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }
};

bool SameText(BSTR s, const char16_t* text, UINT length) {
    if (SysStringLen(s) != length) return false;
    if (length > 0 && std::memcmp(s, text, length * sizeof(char16_t)) != 0) return false;
    return s == nullptr || s[length] == u'\0';
}

// The element size the runtime gives type vt; 0 when it makes no such arrays.
size_t ElementBytes(VARTYPE vt) {
    SAFEARRAY* probe = SafeArrayCreateVector(vt, 0, 0);
    const size_t size = SafeArrayGetElemsize(probe);
    SafeArrayDestroy(probe);
    return size;
}

bool IsInteger(VARTYPE vt) {
    return vt == VT_I1 || vt == VT_UI1 || vt == VT_I2 || vt == VT_UI2 || vt == VT_I4 || vt == VT_UI4 ||
           vt == VT_INT || vt == VT_UINT || vt == VT_I8 || vt == VT_UI8;
}

// The state of one run: what the operations work on.
class Run {
public:
    Run(ByteReader& in, CountingObject& object) : in_(in), object_(object), builder_(in, &object) {}
    ~Run();
    void Step();

private:
    size_t Slot() { return in_.Byte() % kSlots; }
    void Strings(uint8_t op);
    void MakeArray(bool vector);
    SAFEARRAY* Array(size_t slot) { return arrays_[slot]; }
    void Indices(SAFEARRAY* array, std::array<LONG, 4>& at, bool& inside);
    void Elements(bool put);
    void Reshape(uint8_t op);
    void Locks(uint8_t op);
    void Variants(uint8_t op);
    void ChangeType();
    void CheckBounds(SAFEARRAY* array);

    ByteReader& in_;
    CountingObject& object_;
    VariantBuilder builder_;
    std::array<BSTR, kSlots> strings_{};
    std::array<SAFEARRAY*, kSlots> arrays_{};
    std::array<ULONG, kSlots> locks_{};
    std::array<VARIANT, kSlots> variants_{};
};

Run::~Run() {
    for (BSTR s : strings_) SysFreeString(s);
    for (size_t i = 0; i < kSlots; ++i) {
        if (arrays_[i] == nullptr) continue;
        for (ULONG k = 0; k < locks_[i]; ++k) SafeArrayUnlock(arrays_[i]);
        Check(SafeArrayDestroy(arrays_[i]) == S_OK, "an unlocked array cannot be destroyed");
    }
    for (VARIANT& v : variants_) builder_.Release(v);
}

void Run::Strings(uint8_t op) {
    const size_t slot = Slot();
    const std::u16string text = in_.Text(40);
    BSTR made = nullptr;
    switch (op % 4) {
    case 0: { // a length of its own: within reach, or past the limit
        const uint32_t asked = in_.Byte() < 0xF0 ? static_cast<uint32_t>(text.size()) : in_.U32();
        if (asked > kMaxBstrChars) {
            Check(SysAllocStringLen(nullptr, asked) == nullptr, "a BSTR past the limit was made");
            return;
        }
        if (asked > text.size()) {
            if (asked > kMaxBytes) return;
            made = SysAllocStringLen(nullptr, asked);
            Check(SysStringLen(made) == asked && made[asked] == 0, "a zeroed BSTR has another length");
            break;
        }
        made = SysAllocStringLen(text.data(), asked);
        Check(SameText(made, text.data(), asked), "SysAllocStringLen changed the text");
        break;
    }
    case 1: {
        const std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * 2);
        const UINT length = in_.Below(static_cast<uint32_t>(bytes.size()));
        made = SysAllocStringByteLen(bytes.data(), length);
        Check(SysStringByteLen(made) == length && std::memcmp(made, bytes.data(), length) == 0,
              "SysAllocStringByteLen changed the bytes");
        Check(reinterpret_cast<const char*>(made)[length] == 0 &&
                  reinterpret_cast<const char*>(made)[length + 1] == 0,
              "an odd-length BSTR does not end in a whole NUL");
        break;
    }
    case 2: { // reallocated from a part of itself
        BSTR& s = strings_[slot];
        const UINT length = SysStringLen(s);
        const UINT from = in_.Below(length), count = in_.Below(length - from);
        const std::u16string expected(s == nullptr ? u"" : std::u16string(s + from, count));
        Check(SysReAllocStringLen(&s, s == nullptr ? nullptr : s + from, count) == 1, "reallocation refused");
        Check(s != nullptr && (expected.empty() || SameText(s, expected.data(), count)),
              "a string reallocated from itself lost its text");
        return;
    }
    default: {
        made = SysAllocString(text.c_str());
        const size_t end = text.find(u'\0');
        Check(SysStringLen(made) == (end == std::u16string::npos ? text.size() : end),
              "SysAllocString length");
        break;
    }
    }
    SysFreeString(strings_[slot]);
    strings_[slot] = made;
}

void Run::CheckBounds(SAFEARRAY* array) {
    for (UINT d = 1; d <= SafeArrayGetDim(array); ++d) {
        LONG low = 0, high = 0;
        Check(SafeArrayGetLBound(array, d, &low) == S_OK && SafeArrayGetUBound(array, d, &high) == S_OK,
              "a dimension has no bounds");
        const SAFEARRAYBOUND& b = array->rgsabound[array->cDims - d];
        Check(low == b.lLbound && high == static_cast<LONG>(int64_t{low} + b.cElements - 1),
              "bounds do not match the descriptor");
    }
    LONG ignored = 0;
    Check(SafeArrayGetLBound(array, 0, &ignored) == DISP_E_BADINDEX, "dimension 0 has bounds");
    Check(SafeArrayGetUBound(array, SafeArrayGetDim(array) + 1, &ignored) == DISP_E_BADINDEX,
          "a dimension past the last has bounds");
}

void Run::MakeArray(bool vector) {
    const size_t slot = Slot();
    const VARTYPE vt = in_.Byte() < 0xF8 ? builder_.ElementType() : in_.U16();
    const UINT dims = vector ? 1 : in_.Byte() % 4;
    std::array<SAFEARRAYBOUND, 3> bounds{};
    size_t cells = 1, bytes = 0;
    bool overflows = false;
    for (UINT d = 0; d < dims; ++d) {
        const uint8_t shape = in_.Byte();
        bounds[d].cElements = shape < 0xE0 ? shape % 6 : in_.U32();
        bounds[d].lLbound = static_cast<LONG>(in_.U32());
        // Three 32-bit factors overflow only in the last step, so a zero anywhere still gives zero.
        overflows |= __builtin_mul_overflow(cells, size_t{bounds[d].cElements}, &cells);
    }
    overflows |= __builtin_mul_overflow(cells, ElementBytes(vt), &bytes);
    if (!overflows && bytes > kMaxBytes) return; // would really allocate that much
    SAFEARRAY* array = vector ? SafeArrayCreateVector(vt, bounds[0].lLbound, bounds[0].cElements)
                              : SafeArrayCreate(vt, dims, bounds.data());
    if (overflows) Check(array == nullptr, "an array of more bytes than memory holds was made");
    if (array == nullptr) return;
    Check(SafeArrayGetDim(array) == dims, "the array has another dimension count");
    VARTYPE stored = VT_EMPTY;
    Check(SafeArrayGetVartype(array, &stored) == S_OK && stored == vt, "the array forgot its type");
    CheckBounds(array);
    for (ULONG k = 0; k < locks_[slot]; ++k) SafeArrayUnlock(arrays_[slot]);
    Check(SafeArrayDestroy(arrays_[slot]) == S_OK, "an unlocked array cannot be destroyed");
    arrays_[slot] = array;
    locks_[slot] = 0;
}

// Indices, mostly inside the bounds; `inside` says whether all are.
void Run::Indices(SAFEARRAY* array, std::array<LONG, 4>& at, bool& inside) {
    inside = true;
    for (UINT d = 1; d <= array->cDims && d <= at.size(); ++d) {
        const SAFEARRAYBOUND& b = array->rgsabound[array->cDims - d];
        const uint8_t pick = in_.Byte();
        const int64_t index = pick < 0xE0 && b.cElements > 0 ? b.lLbound + int64_t{pick % b.cElements}
                                                             : static_cast<LONG>(in_.U32());
        at[d - 1] = static_cast<LONG>(index);
        inside = inside && at[d - 1] >= b.lLbound && int64_t{at[d - 1]} - b.lLbound < int64_t{b.cElements};
    }
}

void Run::Elements(bool put) {
    SAFEARRAY* array = Array(Slot());
    if (array == nullptr || array->cDims > 4) return;
    std::array<LONG, 4> at{};
    bool inside = false;
    Indices(array, at, inside);
    VARTYPE vt = VT_EMPTY;
    SafeArrayGetVartype(array, &vt);
    alignas(VARIANT) unsigned char value[sizeof(VARIANT)] = {};
    VARIANT element = builder_.Build();
    if (vt == VT_VARIANT) {
        std::memcpy(value, &element, sizeof element);
    } else if (vt == VT_BSTR) {
        BSTR text = builder_.BuildString();
        std::memcpy(value, &text, sizeof text);
    } else if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
        IDispatch* held = in_.Bool() ? &object_ : nullptr;
        std::memcpy(value, &held, sizeof held);
    } else {
        const uint64_t bits = in_.U64();
        std::memcpy(value, &bits, sizeof bits);
    }
    void* pv =
        (vt == VT_BSTR || vt == VT_DISPATCH || vt == VT_UNKNOWN) ? *reinterpret_cast<void**>(value) : value;
    const HRESULT hr = put ? SafeArrayPutElement(array, at.data(), pv) : S_OK;
    if (put && !inside) Check(hr == DISP_E_BADINDEX, "an index outside the bounds was taken");
    alignas(VARIANT) unsigned char back[sizeof(VARIANT)] = {};
    const HRESULT got = SafeArrayGetElement(array, at.data(), back);
    Check(inside == (got != DISP_E_BADINDEX), "GetElement disagrees on the bounds");
    if (put && hr == S_OK && got == S_OK) {
        if (vt == VT_BSTR) {
            const BSTR a = *reinterpret_cast<BSTR*>(value), b = *reinterpret_cast<BSTR*>(back);
            Check(SameText(b, a, SysStringLen(a)) && (a == nullptr) == (b == nullptr),
                  "a string element changed");
        } else if (vt == VT_VARIANT) {
            Check(reinterpret_cast<VARIANT*>(back)->vt == element.vt, "a VARIANT element changed its type");
        } else {
            Check(std::memcmp(value, back, array->cbElements) == 0, "an element reads back otherwise");
        }
    }
    if (got == S_OK) { // what GetElement gives belongs to the caller
        if (vt == VT_BSTR) SysFreeString(*reinterpret_cast<BSTR*>(back));
        if (vt == VT_VARIANT) builder_.Release(*reinterpret_cast<VARIANT*>(back));
        if ((vt == VT_DISPATCH || vt == VT_UNKNOWN) && *reinterpret_cast<IUnknown**>(back) != nullptr)
            (*reinterpret_cast<IUnknown**>(back))->Release();
    }
    if (vt == VT_BSTR) SysFreeString(*reinterpret_cast<BSTR*>(value));
    builder_.Release(element);
}

void Run::Reshape(uint8_t op) {
    const size_t slot = Slot();
    SAFEARRAY* array = Array(slot);
    if (op & 1) { // a deep copy replaces another slot's array
        SAFEARRAY* copy = nullptr;
        if (SafeArrayCopy(array, &copy) != S_OK) return;
        Check((copy == nullptr) == (array == nullptr), "a copy of an array is missing");
        if (copy == nullptr) return;
        Check(copy->cDims == array->cDims && copy->cbElements == array->cbElements,
              "a copy has another shape");
        Check(std::equal(copy->rgsabound, copy->rgsabound + copy->cDims, array->rgsabound,
                         [](const SAFEARRAYBOUND& a, const SAFEARRAYBOUND& b) {
                             return a.cElements == b.cElements && a.lLbound == b.lLbound;
                         }),
              "a copy has other bounds");
        const size_t to = Slot();
        for (ULONG k = 0; k < locks_[to]; ++k) SafeArrayUnlock(arrays_[to]);
        Check(SafeArrayDestroy(arrays_[to]) == S_OK, "an unlocked array cannot be destroyed");
        arrays_[to] = copy;
        locks_[to] = 0;
        return;
    }
    if (array == nullptr) return;
    SAFEARRAYBOUND bound{in_.Byte() < 0xE0 ? in_.Byte() % 8u : in_.U32(), static_cast<LONG>(in_.U32())};
    size_t cells = bound.cElements, bytes = 0;
    bool overflows = false;
    for (UINT d = 1; d < array->cDims; ++d)
        overflows |= __builtin_mul_overflow(cells, size_t{array->rgsabound[d].cElements}, &cells);
    overflows |= __builtin_mul_overflow(cells, size_t{array->cbElements}, &bytes);
    if (!overflows && bytes > kMaxBytes) return;
    const HRESULT hr = SafeArrayRedim(array, &bound);
    if (locks_[slot] > 0) Check(hr == DISP_E_ARRAYISLOCKED, "a locked array was resized");
    if (hr == S_OK) {
        Check(array->rgsabound[0].cElements == bound.cElements &&
                  array->rgsabound[0].lLbound == bound.lLbound,
              "Redim did not set the last dimension");
        CheckBounds(array);
    }
}

void Run::Locks(uint8_t op) {
    const size_t slot = Slot();
    SAFEARRAY* array = Array(slot);
    if (array == nullptr) return;
    switch (op % 4) {
    case 0:
        if (SafeArrayLock(array) == S_OK) ++locks_[slot];
        break;
    case 1:
        Check((SafeArrayUnlock(array) == S_OK) == (locks_[slot] > 0), "unlock disagrees with the lock count");
        if (locks_[slot] > 0) --locks_[slot];
        break;
    case 2: {
        void* data = nullptr;
        if (SafeArrayAccessData(array, &data) == S_OK) {
            Check(data == array->pvData, "AccessData gave another pointer");
            ++locks_[slot];
        }
        break;
    }
    default:
        if (locks_[slot] > 0) Check(SafeArrayDestroy(array) == DISP_E_ARRAYISLOCKED, "a locked array went");
        break;
    }
    Check(array->cLocks == locks_[slot], "the lock count is off");
}

// Through text and back, an integer stays itself.
void CheckTextTrip(const VARIANT& source, VARTYPE vt) {
    if (!IsInteger(vt) || source.vt != vt) return;
    VARIANT text, back;
    VariantInit(&text);
    VariantInit(&back);
    Check(VariantChangeType(&text, &source, 0, VT_BSTR) == S_OK, "an integer has no text");
    Check(VariantChangeType(&back, &text, 0, vt) == S_OK, "an integer's text does not convert back");
    Check(back.vt == vt && std::memcmp(&back.llVal, &source.llVal, 8) == 0,
          "an integer changed through text");
    VariantClear(&text);
}

void Run::ChangeType() {
    const size_t from = Slot(), to = Slot();
    static constexpr VARTYPE kTargets[] = {VT_EMPTY, VT_I2,   VT_I4,   VT_R4,   VT_R8,    VT_CY,      VT_DATE,
                                           VT_BSTR,  VT_BOOL, VT_I1,   VT_UI1,  VT_UI2,   VT_UI4,     VT_I8,
                                           VT_UI8,   VT_INT,  VT_UINT, VT_NULL, VT_ERROR, VT_DISPATCH};
    const uint8_t pick = in_.Byte();
    const VARTYPE vt = pick < 0xF0 ? kTargets[pick % std::size(kTargets)] : in_.U16();
    const USHORT flags = in_.Byte() & (VARIANT_ALPHABOOL | VARIANT_NOVALUEPROP);
    VARIANT before = variants_[to];
    const HRESULT hr = VariantChangeType(&variants_[to], &variants_[from], flags, vt);
    if (hr == S_OK) {
        Check(variants_[to].vt == vt, "the converted value has another type");
        CheckTextTrip(variants_[to], vt);
    } else {
        Check(std::memcmp(&before, &variants_[to], sizeof before) == 0,
              "a failed conversion changed its target");
    }
}

void Run::Variants(uint8_t op) {
    const size_t to = Slot();
    switch (op % 5) {
    case 0:
        builder_.Release(variants_[to]);
        variants_[to] = builder_.Build();
        break;
    case 1: {
        const size_t from = Slot();
        if (VariantCopy(&variants_[to], &variants_[from]) == S_OK) {
            Check(variants_[to].vt == variants_[from].vt, "a copy has another type");
            if (variants_[to].vt == VT_BSTR)
                Check(SameText(variants_[to].bstrVal, variants_[from].bstrVal,
                               SysStringLen(variants_[from].bstrVal)),
                      "a copied string differs");
        }
        break;
    }
    case 2: {
        const size_t from = Slot();
        if (VariantCopyInd(&variants_[to], &variants_[from]) == S_OK)
            Check((variants_[to].vt & VT_BYREF) == 0, "VariantCopyInd left a reference");
        break;
    }
    case 3:
        ChangeType();
        break;
    default: // an array slot's copy goes into a VARIANT
        if (SAFEARRAY* array = Array(Slot()); array != nullptr) {
            VARTYPE vt = VT_EMPTY;
            SAFEARRAY* copy = nullptr;
            if (SafeArrayGetVartype(array, &vt) != S_OK || SafeArrayCopy(array, &copy) != S_OK) return;
            builder_.Release(variants_[to]);
            variants_[to].vt = VT_ARRAY | vt;
            variants_[to].parray = copy;
        }
        break;
    }
}

void Run::Step() {
    const uint8_t op = in_.Byte();
    switch (op % 8) {
    case 0:
        Strings(op >> 3);
        break;
    case 1:
        MakeArray((op & 8) != 0);
        break;
    case 2:
    case 3:
        Elements(op % 8 == 2);
        break;
    case 4:
        Reshape(op >> 3);
        break;
    case 5:
        Locks(op >> 3);
        break;
    default:
        Variants(op >> 3);
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    velmora::fuzz::ForbidSockets();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    CountingObject object;
    {
        Run run(in, object);
        for (int step = 0; step < 48 && !in.Empty(); ++step) run.Step();
    }
    Check(object.references == 1, "the references to an object do not balance");
    return 0;
}
