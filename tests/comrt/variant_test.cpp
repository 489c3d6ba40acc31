#include <velmora/com.h>

#include <gtest/gtest.h>
#include <string>

namespace {

std::u16string Text(BSTR s) {
    return std::u16string(s != nullptr ? s : u"", SysStringLen(s));
}

VARIANT Make(VARTYPE vt) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    return v;
}

VARIANT MakeText(const char16_t* text) {
    VARIANT v = Make(VT_BSTR);
    v.bstrVal = SysAllocString(text);
    return v;
}

// An object that only counts its references.
class Counted final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    ULONG refs = 1;
};

TEST(Variant, ClearFreesWhatTheVariantOwnsOnly) {
    VARIANT text = MakeText(u"owned");
    EXPECT_EQ(VariantClear(&text), S_OK);
    EXPECT_EQ(text.vt, VT_EMPTY);

    Counted object;
    VARIANT unknown = Make(VT_UNKNOWN);
    unknown.punkVal = &object;
    object.AddRef();
    EXPECT_EQ(VariantClear(&unknown), S_OK);
    EXPECT_EQ(object.refs, 1u);

    VARIANT array = Make(VT_ARRAY | VT_BSTR);
    array.parray = SafeArrayCreateVector(VT_BSTR, 0, 1);
    LONG index = 0;
    BSTR s = SysAllocString(u"in array");
    SafeArrayPutElement(array.parray, &index, s);
    SysFreeString(s);
    EXPECT_EQ(VariantClear(&array), S_OK);

    // A reference does not own its target.
    int16_t target = 5;
    VARIANT ref = Make(VT_BYREF | VT_I2);
    ref.piVal = &target;
    EXPECT_EQ(VariantClear(&ref), S_OK);
    EXPECT_EQ(target, 5);
}

TEST(Variant, ClearRejectsBadTypesAndNull) {
    VARIANT bad = Make(VT_VARIANT);
    EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
    bad.vt = 0x7F;
    EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
    VARIANT locked = Make(VT_ARRAY | VT_I4);
    locked.parray = SafeArrayCreateVector(VT_I4, 0, 1);
    SafeArrayLock(locked.parray);
    EXPECT_EQ(VariantClear(&locked), DISP_E_ARRAYISLOCKED);
    SafeArrayUnlock(locked.parray);
    EXPECT_EQ(VariantClear(&locked), S_OK);
}

TEST(Variant, CopyDuplicatesStringsArraysAndReferences) {
    VARIANT source = MakeText(u"copied");
    VARIANT copy = MakeText(u"overwritten"); // freed by the copy
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_NE(copy.bstrVal, source.bstrVal);
    EXPECT_EQ(Text(copy.bstrVal), u"copied");
    EXPECT_EQ(VariantCopy(&copy, &copy), S_OK);
    VariantClear(&source);
    VariantClear(&copy);

    VARIANT array = Make(VT_ARRAY | VT_I2);
    array.parray = SafeArrayCreateVector(VT_I2, 3, 2);
    ASSERT_EQ(VariantCopy(&copy, &array), S_OK);
    EXPECT_NE(copy.parray, array.parray);
    LONG lower = 0;
    SafeArrayGetLBound(copy.parray, 1, &lower);
    EXPECT_EQ(lower, 3);
    VariantClear(&array);
    VariantClear(&copy);

    Counted object;
    VARIANT unknown = Make(VT_DISPATCH);
    unknown.punkVal = &object;
    ASSERT_EQ(VariantCopy(&copy, &unknown), S_OK);
    EXPECT_EQ(object.refs, 2u);
    VariantClear(&copy);
    EXPECT_EQ(object.refs, 1u);
}

TEST(Variant, CopyIndFollowsOneReference) {
    BSTR target = SysAllocString(u"behind a reference");
    VARIANT ref = Make(VT_BYREF | VT_BSTR);
    ref.pbstrVal = &target;
    VARIANT copy = Make(VT_EMPTY);
    ASSERT_EQ(VariantCopyInd(&copy, &ref), S_OK);
    EXPECT_EQ(copy.vt, VT_BSTR);
    EXPECT_NE(copy.bstrVal, target);
    EXPECT_EQ(Text(copy.bstrVal), u"behind a reference");
    VariantClear(&copy);

    // In place: the reference becomes the value.
    ASSERT_EQ(VariantCopyInd(&ref, &ref), S_OK);
    EXPECT_EQ(ref.vt, VT_BSTR);
    EXPECT_EQ(Text(ref.bstrVal), u"behind a reference");
    VariantClear(&ref);
    SysFreeString(target);

    VARIANT inner = Make(VT_I4);
    inner.lVal = 42;
    VARIANT outer = Make(VT_BYREF | VT_VARIANT);
    outer.pvarVal = &inner;
    ASSERT_EQ(VariantCopyInd(&copy, &outer), S_OK);
    EXPECT_EQ(copy.vt, VT_I4);
    EXPECT_EQ(copy.lVal, 42);

    VARIANT nullRef = Make(VT_BYREF | VT_I2);
    EXPECT_EQ(VariantCopyInd(&copy, &nullRef), E_INVALIDARG);
}

struct Conversion {
    VARIANT source;
    VARTYPE target;
    HRESULT expected;
    double value; // numeric result when it succeeds
};

double Numeric(const VARIANT& v) {
    switch (v.vt) {
    case VT_I2:
        return v.iVal;
    case VT_I4:
        return v.lVal;
    case VT_UI1:
        return v.bVal;
    case VT_R4:
        return v.fltVal;
    case VT_R8:
        return v.dblVal;
    case VT_BOOL:
        return v.boolVal;
    case VT_CY:
        return static_cast<double>(v.cyVal.int64);
    default:
        return -12345;
    }
}

VARIANT Real(double d) {
    VARIANT v = Make(VT_R8);
    v.dblVal = d;
    return v;
}

VARIANT Int(VARTYPE vt, int32_t n) {
    VARIANT v = Make(vt);
    if (vt == VT_I2 || vt == VT_BOOL)
        v.iVal = static_cast<int16_t>(n);
    else if (vt == VT_UI1)
        v.bVal = static_cast<uint8_t>(n);
    else
        v.lVal = n;
    return v;
}

TEST(Variant, ChangeTypeBetweenNumbersRoundsHalfToEvenAndChecksRange) {
    const Conversion cases[] = {
        {Int(VT_I2, -7), VT_R8, S_OK, -7},
        {Real(2.5), VT_I2, S_OK, 2},
        {Real(3.5), VT_I2, S_OK, 4},
        {Real(-2.5), VT_I4, S_OK, -2},
        {Real(32767.4), VT_I2, S_OK, 32767},
        {Real(32767.5), VT_I2, DISP_E_OVERFLOW, 0},
        {Int(VT_I4, -1), VT_UI1, DISP_E_OVERFLOW, 0},
        {Int(VT_I4, 255), VT_UI1, S_OK, 255},
        {Int(VT_I4, 70000), VT_I2, DISP_E_OVERFLOW, 0},
        {Real(1e300), VT_R4, DISP_E_OVERFLOW, 0},
        {Int(VT_BOOL, VARIANT_TRUE), VT_I4, S_OK, -1},
        {Int(VT_I2, 5), VT_BOOL, S_OK, VARIANT_TRUE},
        {Real(0.0), VT_BOOL, S_OK, VARIANT_FALSE},
        {Real(1.23456), VT_CY, S_OK, 12346},
        {Make(VT_EMPTY), VT_I4, S_OK, 0},
        {Make(VT_NULL), VT_I4, DISP_E_TYPEMISMATCH, 0},
        {Make(VT_DISPATCH), VT_I4, DISP_E_TYPEMISMATCH, 0},
    };
    for (const Conversion& c : cases) {
        VARIANT result = Make(VT_EMPTY);
        EXPECT_EQ(VariantChangeType(&result, &c.source, 0, c.target), c.expected)
            << "from " << c.source.vt << " to " << c.target;
        if (c.expected == S_OK) {
            EXPECT_EQ(result.vt, c.target);
            EXPECT_DOUBLE_EQ(Numeric(result), c.value) << "from " << c.source.vt << " to " << c.target;
        } else {
            EXPECT_EQ(result.vt, VT_EMPTY);
        }
    }
}

TEST(Variant, ChangeTypeReadsNumericText) {
    const struct {
        const char16_t* text;
        VARTYPE target;
        HRESULT expected;
        double value;
    } cases[] = {
        {u" 12 ", VT_I2, S_OK, 12},
        {u"-3", VT_I4, S_OK, -3},
        {u"+4", VT_UI1, S_OK, 4},
        {u"1.5e2", VT_R4, S_OK, 150},
        {u"0.25", VT_R8, S_OK, 0.25},
        {u"2.5", VT_I2, S_OK, 2},
        {u"70000", VT_I2, DISP_E_OVERFLOW, 0},
        {u"1e400", VT_R8, DISP_E_OVERFLOW, 0},
        {u"abc", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {u"", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {u"1-2", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {u"1,5", VT_R8, DISP_E_TYPEMISMATCH, 0},
        {u"true", VT_BOOL, S_OK, VARIANT_TRUE},
        {u"False", VT_BOOL, S_OK, VARIANT_FALSE},
        {u"0", VT_BOOL, S_OK, VARIANT_FALSE},
        {u"True", VT_I4, DISP_E_TYPEMISMATCH, 0},
    };
    for (const auto& c : cases) {
        VARIANT source = MakeText(c.text);
        VARIANT result = Make(VT_EMPTY);
        EXPECT_EQ(VariantChangeType(&result, &source, 0, c.target), c.expected);
        if (c.expected == S_OK) {
            EXPECT_DOUBLE_EQ(Numeric(result), c.value);
        }
        VariantClear(&source);
    }
}

TEST(Variant, ChangeTypeWritesText) {
    const struct {
        VARIANT source;
        USHORT flags;
        const char16_t* text;
    } cases[] = {
        {Int(VT_I4, -42), 0, u"-42"},
        {Real(0.1), 0, u"0.1"},
        {Real(1e20), 0, u"1E+20"},
        {Int(VT_BOOL, VARIANT_TRUE), 0, u"-1"},
        {Int(VT_BOOL, VARIANT_TRUE), VARIANT_ALPHABOOL, u"True"},
        {Int(VT_BOOL, VARIANT_FALSE), VARIANT_ALPHABOOL, u"False"},
        {Make(VT_EMPTY), 0, u""},
    };
    for (const auto& c : cases) {
        VARIANT result = Make(VT_EMPTY);
        ASSERT_EQ(VariantChangeType(&result, &c.source, c.flags, VT_BSTR), S_OK);
        EXPECT_EQ(result.vt, VT_BSTR);
        EXPECT_EQ(Text(result.bstrVal), c.text);
        VariantClear(&result);
    }
    VARIANT single = Make(VT_R4);
    single.fltVal = 0.1f;
    VARIANT result = Make(VT_EMPTY);
    ASSERT_EQ(VariantChangeType(&result, &single, 0, VT_BSTR), S_OK);
    EXPECT_EQ(Text(result.bstrVal), u"0.1");
    VariantClear(&result);
}

TEST(Variant, ChangeTypeInPlaceAndThroughReferences) {
    VARIANT v = MakeText(u"17");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK); // the string is freed
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 17);

    int16_t target = 300;
    VARIANT ref = Make(VT_BYREF | VT_I2);
    ref.piVal = &target;
    VARIANT result = Make(VT_EMPTY);
    ASSERT_EQ(VariantChangeType(&result, &ref, 0, VT_R4), S_OK);
    EXPECT_EQ(result.fltVal, 300.0f);

    // A failed conversion leaves the destination alone.
    VARIANT kept = MakeText(u"kept");
    VARIANT bad = MakeText(u"x");
    EXPECT_EQ(VariantChangeType(&kept, &bad, 0, VT_I2), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Text(kept.bstrVal), u"kept");
    VariantClear(&kept);
    VariantClear(&bad);

    EXPECT_EQ(VariantChangeType(&result, &v, 0, VT_I4 | VT_BYREF), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(&result, &v, 0, 0x7F), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantChangeType(nullptr, &v, 0, VT_I4), E_INVALIDARG);
    EXPECT_EQ(VariantChangeType(&result, nullptr, 0, VT_I4), E_INVALIDARG);
}

} // namespace
