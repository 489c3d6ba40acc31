// The conversions a dispatch call relies on to turn its arguments into the
// parameter types of the method it calls.
#include <velmora/com.h>

#include <gtest/gtest.h>
#include <string>

namespace {

VARIANT Make(VARTYPE vt, double number = 0, const char16_t* text = nullptr) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    if (vt == VT_I2 || vt == VT_BOOL) v.iVal = static_cast<int16_t>(number);
    if (vt == VT_I4) v.lVal = static_cast<int32_t>(number);
    if (vt == VT_R8) v.dblVal = number;
    if (vt == VT_R4) v.fltVal = static_cast<float>(number);
    if (vt == VT_BSTR) v.bstrVal = SysAllocString(text);
    return v;
}

VARIANT Text(const char16_t* text) {
    return Make(VT_BSTR, 0, text);
}

double Numeric(const VARIANT& v) {
    if (v.vt == VT_I4) return v.lVal;
    if (v.vt == VT_UI1) return v.bVal;
    if (v.vt == VT_R4) return v.fltVal;
    if (v.vt == VT_R8) return v.dblVal;
    return v.iVal; // VT_I2, VT_BOOL
}

std::u16string TextOf(const VARIANT& v) {
    return v.vt == VT_BSTR ? std::u16string(v.bstrVal, SysStringLen(v.bstrVal)) : u"";
}

// To a number, rounding half to even within its range; to text as Windows
// writes it: Empty as no text, True as -1.
TEST(Variant, ChangeTypeConvertsEachKind) {
    const struct {
        VARIANT source;
        VARTYPE target;
        HRESULT expected;
        double value;
        std::u16string text = u""; // the result of a change to VT_BSTR
    } cases[] = {
        {Make(VT_I2, -7), VT_R8, S_OK, -7},
        {Make(VT_R8, 2.5), VT_I2, S_OK, 2},
        {Make(VT_R8, 3.5), VT_I2, S_OK, 4},
        {Make(VT_R4, 0.5), VT_UI1, S_OK, 0},
        {Make(VT_R8, 32767.4), VT_I2, S_OK, 32767},
        {Make(VT_R8, 32767.5), VT_I2, DISP_E_OVERFLOW, 0},
        {Make(VT_I4, -1), VT_UI1, DISP_E_OVERFLOW, 0},
        {Make(VT_I4, 255), VT_UI1, S_OK, 255},
        {Make(VT_I4, 70000), VT_I2, DISP_E_OVERFLOW, 0},
        {Make(VT_R8, 1e300), VT_R4, DISP_E_OVERFLOW, 0},
        {Make(VT_BOOL, VARIANT_TRUE), VT_I4, S_OK, -1},
        {Make(VT_I2, 5), VT_BOOL, S_OK, VARIANT_TRUE},
        {Make(VT_R8, 0.0), VT_BOOL, S_OK, VARIANT_FALSE},
        {Make(VT_EMPTY), VT_I4, S_OK, 0},
        {Make(VT_NULL), VT_I4, DISP_E_TYPEMISMATCH, 0},
        {Text(u" 12 "), VT_I2, S_OK, 12},
        {Text(u"+4"), VT_UI1, S_OK, 4},
        {Text(u"1.5e2"), VT_R4, S_OK, 150},
        {Text(u"2.5"), VT_I2, S_OK, 2},
        {Text(u"70000"), VT_I2, DISP_E_OVERFLOW, 0},
        {Text(u"1e400"), VT_R8, DISP_E_OVERFLOW, 0},
        {Text(u"abc"), VT_I4, DISP_E_TYPEMISMATCH, 0},
        {Text(u""), VT_I4, DISP_E_TYPEMISMATCH, 0},
        {Text(u"1,5"), VT_R8, DISP_E_TYPEMISMATCH, 0},
        {Text(u"False"), VT_BOOL, S_OK, VARIANT_FALSE},
        {Text(u"true"), VT_BOOL, S_OK, VARIANT_TRUE},
        {Text(u"True"), VT_I4, DISP_E_TYPEMISMATCH, 0},
        {Make(VT_I4, 17), 0x7F, DISP_E_BADVARTYPE, 0}, // an unknown target type
        {Make(VT_EMPTY), VT_BSTR, S_OK, 0, u""},
        {Make(VT_I4, -7), VT_BSTR, S_OK, 0, u"-7"},
        {Make(VT_R8, 2.5), VT_BSTR, S_OK, 0, u"2.5"},
        {Make(VT_BOOL, VARIANT_TRUE), VT_BSTR, S_OK, 0, u"-1"},
        {Make(VT_R4, 0.1f), VT_BSTR, S_OK, 0, u"0.1"},
    };
    for (auto c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "from type " << c.source.vt << " holding "
                     << (c.source.vt == VT_BSTR ? testing::PrintToString(c.source.bstrVal)
                                                : testing::PrintToString(Numeric(c.source)))
                     << " to type " << c.target);
        // Into another variant, then in place; the leak checker fails the test
        // if the string a conversion replaces is not freed. A failure leaves
        // the destination, a string's text too.
        VARIANT result = Text(u"kept");
        for (VARIANT* destination : {&result, &c.source}) {
            const VARTYPE before = destination->vt;
            const std::u16string text = TextOf(*destination);
            EXPECT_EQ(VariantChangeType(destination, &c.source, 0, c.target), c.expected);
            const bool ok = c.expected == S_OK;
            EXPECT_EQ(destination->vt, ok ? c.target : before) << "type of the result";
            EXPECT_EQ(TextOf(*destination), ok ? c.text : text) << "text of the result";
            EXPECT_DOUBLE_EQ(ok && c.target != VT_BSTR ? Numeric(*destination) : 0.0, c.value);
        }
        VariantClear(&result);
        VariantClear(&c.source);
    }
}

TEST(Variant, ChangeTypeReadsThroughAReference) {
    int16_t target = 300;
    VARIANT ref = Make(VT_BYREF | VT_I2), result = Make(VT_EMPTY);
    ref.piVal = &target;
    ASSERT_EQ(VariantChangeType(&result, &ref, 0, VT_R4), S_OK);
    EXPECT_EQ(result.vt, VT_R4);
    EXPECT_EQ(result.fltVal, 300.0f) << "through a reference";
    EXPECT_EQ(VariantClear(&ref), S_OK);
    EXPECT_EQ(target, 300) << "clearing a reference leaves its target";
}

} // namespace
