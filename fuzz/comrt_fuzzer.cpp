// The runtime's BSTR, SAFEARRAY and VARIANT functions as up to 48 operations
// on a few strings, arrays and VARIANTs (VT_DISPATCH ones hold a counting
// object). A size past 1 MiB is asked for only when its byte count
// overflows, where the runtime must refuse without allocating.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "comrt/value_types.h"
#include "variant_builder.h"

namespace {

using velmora::com::ValueKind;
using velmora::fuzz::ByteReader;
using velmora::fuzz::Check;
using velmora::fuzz::HoldsObject;

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

// A byte count as factors come; past kMaxBytes only where the product overflows.
struct Size {
    size_t bytes = 1;
    bool overflows = false;
    void Times(size_t factor) { overflows |= __builtin_mul_overflow(bytes, factor, &bytes); }
    bool TooLarge() const { return !overflows && bytes > kMaxBytes; }
};

// Through text and back, an integer stays itself.
void CheckTextTrip(const VARIANT& source) {
    const velmora::com::ValueType* row = velmora::com::ValueTypeOf(source.vt);
    if (row == nullptr || (row->kind != ValueKind::Signed && row->kind != ValueKind::Unsigned)) return;
    VARIANT text{}, back{};
    Check(VariantChangeType(&text, &source, 0, VT_BSTR) == S_OK, "an integer has no text");
    Check(VariantChangeType(&back, &text, 0, source.vt) == S_OK, "an integer's text does not convert back");
    Check(back.vt == source.vt && std::memcmp(&back.llVal, &source.llVal, 8) == 0,
          "an integer changed through text");
    VariantClear(&text);
}

void CheckBounds(SAFEARRAY* array) {
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

// The operations, each reading its operands from the input after its op byte.
class Run {
public:
    Run(ByteReader& in, CountingObject& object) : in_(in), builder_(in, &object) {}
    ~Run() {
        for (BSTR s : strings_) SysFreeString(s);
        for (size_t i = 0; i < kSlots; ++i) Replace(i, nullptr);
        for (VARIANT& v : variants_) builder_.Release(v);
    }

    void Step() {
        using Op = void (Run::*)(uint8_t);
        static constexpr Op kOps[8] = {&Run::Strings, &Run::MakeArray, &Run::Elements, &Run::Elements,
                                       &Run::Reshape, &Run::Locks,     &Run::Variants, &Run::Variants};
        const uint8_t op = in_.Byte();
        (this->*kOps[op % 8])(op);
    }

private:
    size_t Slot() { return in_.Byte() % kSlots; }

    void Replace(size_t slot, SAFEARRAY* array) {
        for (ULONG k = 0; k < locks_[slot]; ++k) SafeArrayUnlock(arrays_[slot]);
        Check(SafeArrayDestroy(arrays_[slot]) == S_OK, "an unlocked array cannot be destroyed");
        arrays_[slot] = array;
        locks_[slot] = 0;
    }

    void Strings(uint8_t op) {
        const size_t slot = Slot();
        const std::u16string text = in_.Text(40);
        BSTR made = nullptr;
        if ((op >> 3) % 4 == 0) { // a length of its own: within reach, or past the limit
            const uint32_t asked = in_.Byte() < 0xF0 ? static_cast<uint32_t>(text.size()) : in_.U32();
            if (asked > kMaxBstrChars)
                return Check(!SysAllocStringLen(nullptr, asked), "a BSTR past the limit");
            if (asked > text.size() && asked > kMaxBytes) return;
            made = SysAllocStringLen(asked > text.size() ? nullptr : text.data(), asked);
            Check(asked > text.size() ? SysStringLen(made) == asked && made[asked] == 0
                                      : SameText(made, text.data(), asked),
                  "SysAllocStringLen made another text");
        } else if ((op >> 3) % 4 == 1) {
            const std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * 2);
            const UINT length = in_.Below(static_cast<uint32_t>(bytes.size()));
            made = SysAllocStringByteLen(bytes.data(), length);
            const char* raw = reinterpret_cast<const char*>(made);
            Check(SysStringByteLen(made) == length && std::memcmp(made, bytes.data(), length) == 0 &&
                      raw[length] == 0 && raw[length + 1] == 0,
                  "SysAllocStringByteLen changed the bytes or did not end them in a whole NUL");
        } else if ((op >> 3) % 4 == 2) { // reallocated from a part of itself
            BSTR& s = strings_[slot];
            const UINT length = SysStringLen(s);
            const UINT from = in_.Below(length), count = in_.Below(length - from);
            const std::u16string expected(s == nullptr ? u"" : std::u16string(s + from, count));
            Check(SysReAllocStringLen(&s, s == nullptr ? nullptr : s + from, count) == 1 && s != nullptr &&
                      (expected.empty() || SameText(s, expected.data(), count)),
                  "a string reallocated from itself lost its text");
            return;
        } else {
            made = SysAllocString(text.c_str());
            Check(SysStringLen(made) == std::min(text.find(u'\0'), text.size()), "SysAllocString length");
        }
        SysFreeString(strings_[slot]);
        strings_[slot] = made;
    }

    void MakeArray(uint8_t op) {
        const bool vector = (op & 8) != 0;
        const size_t slot = Slot();
        const VARTYPE vt = in_.Byte() < 0xF8 ? builder_.ElementType() : in_.U16();
        const UINT dims = vector ? 1 : in_.Byte() % 4;
        std::array<SAFEARRAYBOUND, 3> bounds{};
        Size size;
        for (UINT d = 0; d < dims; ++d) {
            const uint8_t shape = in_.Byte();
            bounds[d].cElements = shape < 0xE0 ? shape % 6 : in_.U32();
            bounds[d].lLbound = static_cast<LONG>(in_.U32());
            size.Times(bounds[d].cElements); // 3 factors of 32 bits overflow only at the last
        }
        size.Times(velmora::com::ElementSize(vt));
        if (size.TooLarge()) return; // would really allocate that much
        SAFEARRAY* array = vector ? SafeArrayCreateVector(vt, bounds[0].lLbound, bounds[0].cElements)
                                  : SafeArrayCreate(vt, dims, bounds.data());
        if (size.overflows) Check(array == nullptr, "an array of more bytes than memory holds was made");
        if (array == nullptr) return;
        VARTYPE stored = VT_EMPTY;
        Check(SafeArrayGetDim(array) == dims && SafeArrayGetVartype(array, &stored) == S_OK && stored == vt,
              "the array has another dimension count or type");
        CheckBounds(array);
        Replace(slot, array);
    }

    // Indices, mostly inside the bounds; whether all are.
    bool Indices(const SAFEARRAY* array, std::array<LONG, 4>& at) {
        bool inside = true;
        for (UINT d = 1; d <= array->cDims && d <= at.size(); ++d) {
            const SAFEARRAYBOUND& b = array->rgsabound[array->cDims - d];
            const uint8_t pick = in_.Byte();
            at[d - 1] = pick < 0xE0 && b.cElements > 0
                            ? static_cast<LONG>(b.lLbound + int64_t{pick % b.cElements})
                            : static_cast<LONG>(in_.U32());
            inside =
                inside && at[d - 1] >= b.lLbound && int64_t{at[d - 1]} - b.lLbound < int64_t{b.cElements};
        }
        return inside;
    }

    void Elements(uint8_t op) {
        const bool put = op % 8 == 2;
        SAFEARRAY* array = arrays_[Slot()];
        if (array == nullptr || array->cDims > 4) return;
        std::array<LONG, 4> at{};
        const bool inside = Indices(array, at);
        VARTYPE vt = VT_EMPTY;
        SafeArrayGetVartype(array, &vt);
        VARIANT element = builder_.Build();
        // A VARIANT element goes by its address, a string or an object as itself.
        VARIANT value = vt == VT_VARIANT ? element : builder_.Scalar(vt);
        void* pv = vt == VT_VARIANT  ? &value
                   : vt == VT_BSTR   ? value.bstrVal
                   : HoldsObject(vt) ? static_cast<void*>(value.pdispVal)
                                     : &value.llVal;
        const HRESULT hr = put ? SafeArrayPutElement(array, at.data(), pv) : S_OK;
        if (put && !inside) Check(hr == DISP_E_BADINDEX, "an index outside the bounds was taken");
        VARIANT back{}; // what GetElement gives is the caller's: freed as a VARIANT of its type
        const HRESULT got =
            SafeArrayGetElement(array, at.data(), vt == VT_VARIANT ? &back : static_cast<void*>(&back.llVal));
        Check(inside == (got != DISP_E_BADINDEX), "GetElement disagrees on the bounds");
        if (got == S_OK && vt != VT_VARIANT) back.vt = vt;
        if (put && hr == S_OK && got == S_OK)
            Check(vt == VT_BSTR ? SameText(back.bstrVal, value.bstrVal, SysStringLen(value.bstrVal)) &&
                                      (value.bstrVal == nullptr) == (back.bstrVal == nullptr)
                  : vt == VT_VARIANT ? back.vt == element.vt
                                     : std::memcmp(&value.llVal, &back.llVal, array->cbElements) == 0,
                  "an element reads back otherwise");
        builder_.Release(back);
        if (vt != VT_VARIANT) builder_.Release(value);
        builder_.Release(element);
    }

    void Reshape(uint8_t op) {
        const size_t slot = Slot();
        SAFEARRAY* array = arrays_[slot];
        if ((op >> 3) & 1) { // a deep copy replaces another slot's array
            SAFEARRAY* copy = nullptr;
            if (SafeArrayCopy(array, &copy) != S_OK) return;
            Check((copy == nullptr) == (array == nullptr), "a copy of an array is missing");
            if (copy == nullptr) return;
            Check(copy->cDims == array->cDims && copy->cbElements == array->cbElements &&
                      !std::memcmp(copy->rgsabound, array->rgsabound, copy->cDims * sizeof(SAFEARRAYBOUND)),
                  "a copy has another shape");
            return Replace(Slot(), copy);
        }
        if (array == nullptr) return;
        SAFEARRAYBOUND bound{in_.Byte() < 0xE0 ? in_.Byte() % 8u : in_.U32(), static_cast<LONG>(in_.U32())};
        Size size;
        size.Times(bound.cElements);
        for (UINT d = 1; d < array->cDims; ++d) size.Times(array->rgsabound[d].cElements);
        size.Times(array->cbElements);
        if (size.TooLarge()) return;
        const HRESULT hr = SafeArrayRedim(array, &bound);
        if (locks_[slot] > 0) Check(hr == DISP_E_ARRAYISLOCKED, "a locked array was resized");
        if (hr != S_OK) return;
        Check(std::memcmp(&array->rgsabound[0], &bound, sizeof bound) == 0,
              "Redim did not set the last dimension");
        CheckBounds(array);
    }

    void Locks(uint8_t op) {
        const size_t slot = Slot();
        SAFEARRAY* array = arrays_[slot];
        if (array == nullptr) return;
        void* data = nullptr;
        ULONG& locks = locks_[slot];
        if ((op >> 3) % 4 == 0 && SafeArrayLock(array) == S_OK) ++locks;
        if ((op >> 3) % 4 == 1) {
            Check((SafeArrayUnlock(array) == S_OK) == (locks > 0), "unlock disagrees with the lock count");
            if (locks > 0) --locks;
        }
        if ((op >> 3) % 4 == 2 && SafeArrayAccessData(array, &data) == S_OK) {
            Check(data == array->pvData, "AccessData gave another pointer");
            ++locks;
        }
        if ((op >> 3) % 4 == 3 && locks > 0)
            Check(SafeArrayDestroy(array) == DISP_E_ARRAYISLOCKED, "a locked array went");
        Check(array->cLocks == locks, "the lock count is off");
    }

    void ChangeType() {
        static constexpr VARTYPE kTargets[] = {
            VT_EMPTY, VT_I2,  VT_I4,  VT_R4, VT_R8,  VT_CY,  VT_DATE, VT_BSTR, VT_BOOL,  VT_I1,
            VT_UI1,   VT_UI2, VT_UI4, VT_I8, VT_UI8, VT_INT, VT_UINT, VT_NULL, VT_ERROR, VT_DISPATCH};
        const size_t from = Slot(), to = Slot();
        const uint8_t pick = in_.Byte();
        const VARTYPE vt = pick < 0xF0 ? kTargets[pick % std::size(kTargets)] : in_.U16();
        const USHORT flags = in_.Byte() & (VARIANT_ALPHABOOL | VARIANT_NOVALUEPROP);
        const VARIANT before = variants_[to];
        if (VariantChangeType(&variants_[to], &variants_[from], flags, vt) != S_OK)
            return Check(std::memcmp(&before, &variants_[to], sizeof before) == 0,
                         "a failed conversion changed its target");
        Check(variants_[to].vt == vt, "the converted value has another type");
        CheckTextTrip(variants_[to]);
    }

    void Variants(uint8_t op) {
        const size_t to = Slot();
        VARIANT& target = variants_[to];
        if ((op >> 3) % 5 == 0) {
            builder_.Release(target);
            target = builder_.Build();
        } else if ((op >> 3) % 5 == 1) {
            const VARIANT& source = variants_[Slot()];
            if (VariantCopy(&target, &source) == S_OK)
                Check(target.vt == source.vt &&
                          (target.vt != VT_BSTR ||
                           SameText(target.bstrVal, source.bstrVal, SysStringLen(source.bstrVal))),
                      "a copy differs");
        } else if ((op >> 3) % 5 == 2) {
            if (VariantCopyInd(&target, &variants_[Slot()]) == S_OK)
                Check((target.vt & VT_BYREF) == 0, "VariantCopyInd left a reference");
        } else if ((op >> 3) % 5 == 3) {
            ChangeType();
        } else if (SAFEARRAY* array = arrays_[Slot()]; array != nullptr) { // an array's copy into a VARIANT
            VARTYPE vt = VT_EMPTY;
            SAFEARRAY* copy = nullptr;
            if (SafeArrayGetVartype(array, &vt) != S_OK || SafeArrayCopy(array, &copy) != S_OK) return;
            builder_.Release(target);
            target.vt = VT_ARRAY | vt;
            target.parray = copy;
        }
    }

    ByteReader& in_;
    velmora::fuzz::VariantBuilder builder_;
    std::array<BSTR, kSlots> strings_{};
    std::array<SAFEARRAY*, kSlots> arrays_{};
    std::array<ULONG, kSlots> locks_{};
    std::array<VARIANT, kSlots> variants_{};
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    velmora::fuzz::Start("comrt");
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
