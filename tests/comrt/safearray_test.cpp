#include <velmora/com.h>

#include <gtest/gtest.h>
#include <string>

namespace {

std::u16string Text(BSTR s) {
    return std::u16string(s != nullptr ? s : u"", SysStringLen(s));
}

TEST(SafeArray, VectorWithLowerBoundChecksIndices) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_I4, 1, 3);
    ASSERT_NE(psa, nullptr);
    EXPECT_EQ(SafeArrayGetDim(psa), 1u);
    EXPECT_EQ(SafeArrayGetElemsize(psa), 4u);
    LONG lower = 0, upper = 0;
    ASSERT_EQ(SafeArrayGetLBound(psa, 1, &lower), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(psa, 1, &upper), S_OK);
    EXPECT_EQ(lower, 1);
    EXPECT_EQ(upper, 3);
    for (LONG i = 1; i <= 3; ++i) {
        LONG value = i * 100;
        ASSERT_EQ(SafeArrayPutElement(psa, &i, &value), S_OK);
    }
    const auto* data = static_cast<const int32_t*>(psa->pvData);
    EXPECT_EQ(data[0], 100);
    EXPECT_EQ(data[2], 300);
    LONG outside[] = {0, 4};
    LONG value = 0;
    for (LONG& index : outside) {
        EXPECT_EQ(SafeArrayGetElement(psa, &index, &value), DISP_E_BADINDEX) << index;
        EXPECT_EQ(SafeArrayPutElement(psa, &index, &value), DISP_E_BADINDEX) << index;
    }
    EXPECT_EQ(SafeArrayGetLBound(psa, 2, &lower), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetLBound(psa, 0, &lower), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

// A host reads a 2-D Integer array as rows x columns with the first index
// varying fastest, and finds the bounds stored last dimension first.
TEST(SafeArray, TwoDimensionalIntegersUseTheWindowsLayout) {
    SAFEARRAYBOUND bounds[2] = {{3, 0}, {4, -2}}; // rows 0..2, columns -2..1
    SAFEARRAY* psa = SafeArrayCreate(VT_I2, 2, bounds);
    ASSERT_NE(psa, nullptr);
    const SAFEARRAYBOUND* stored = psa->rgsabound;
    EXPECT_EQ(stored[0].cElements, 4u);
    EXPECT_EQ(stored[0].lLbound, -2);
    EXPECT_EQ(stored[1].cElements, 3u);
    EXPECT_EQ(stored[1].lLbound, 0);
    for (LONG k = -2; k <= 1; ++k) {
        for (LONG i = 0; i <= 2; ++i) {
            LONG index[2] = {i, k};
            int16_t value = static_cast<int16_t>(i * 10 + k);
            ASSERT_EQ(SafeArrayPutElement(psa, index, &value), S_OK);
        }
    }
    void* raw = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, &raw), S_OK);
    const auto* data = static_cast<const int16_t*>(raw);
    for (int k = 0; k < 4; ++k) {
        for (int i = 0; i < 3; ++i) EXPECT_EQ(data[i + k * 3], i * 10 + (k - 2)) << i << "," << k;
    }
    EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
    LONG upper = 0;
    ASSERT_EQ(SafeArrayGetUBound(psa, 2, &upper), S_OK);
    EXPECT_EQ(upper, 1);
    ASSERT_EQ(SafeArrayGetUBound(psa, 1, &upper), S_OK);
    EXPECT_EQ(upper, 2);
    LONG outside[2] = {3, 0};
    int16_t value = 0;
    EXPECT_EQ(SafeArrayGetElement(psa, outside, &value), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArray, ElementSizesAndTypesOfEverySupportedKind) {
    const struct {
        VARTYPE vt;
        UINT size;
    } kinds[] = {{VT_I2, 2},
                 {VT_I4, 4},
                 {VT_R4, 4},
                 {VT_R8, 8},
                 {VT_UI1, 1},
                 {VT_BOOL, 2},
                 {VT_BSTR, sizeof(BSTR)},
                 {VT_VARIANT, sizeof(VARIANT)}};
    for (const auto& kind : kinds) {
        SAFEARRAY* psa = SafeArrayCreateVector(kind.vt, 0, 2);
        ASSERT_NE(psa, nullptr) << kind.vt;
        EXPECT_EQ(SafeArrayGetElemsize(psa), kind.size) << kind.vt;
        VARTYPE vt = VT_EMPTY;
        ASSERT_EQ(SafeArrayGetVartype(psa, &vt), S_OK);
        EXPECT_EQ(vt, kind.vt);
        EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    }
    SAFEARRAYBOUND bound{1, 0};
    EXPECT_EQ(SafeArrayCreate(VT_EMPTY, 1, &bound), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_I2 | VT_BYREF, 1, &bound), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_I2, 0, &bound), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_I2, 1, nullptr), nullptr);
}

TEST(SafeArray, StringElementsAreCopiedInAndOut) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, 2);
    ASSERT_NE(psa, nullptr);
    BSTR original = SysAllocString(u"±10 V");
    LONG index = 0;
    ASSERT_EQ(SafeArrayPutElement(psa, &index, original), S_OK);
    SysFreeString(original);
    // Replacing an element frees the previous string.
    BSTR replacement = SysAllocString(u"±2.5 V");
    ASSERT_EQ(SafeArrayPutElement(psa, &index, replacement), S_OK);
    BSTR read = nullptr;
    ASSERT_EQ(SafeArrayGetElement(psa, &index, &read), S_OK);
    EXPECT_NE(read, replacement);
    EXPECT_EQ(Text(read), u"±2.5 V");
    SysFreeString(read);
    SysFreeString(replacement);
    index = 1;
    ASSERT_EQ(SafeArrayGetElement(psa, &index, &read), S_OK);
    EXPECT_EQ(read, nullptr);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK); // frees the stored strings (checked by the leak checker)
}

TEST(SafeArray, CopyIsDeepAndKeepsShapeAndType) {
    SAFEARRAYBOUND bounds[2] = {{2, 1}, {2, 5}};
    SAFEARRAY* psa = SafeArrayCreate(VT_BSTR, 2, bounds);
    ASSERT_NE(psa, nullptr);
    LONG index[2] = {2, 6};
    BSTR text = SysAllocString(u"kept");
    ASSERT_EQ(SafeArrayPutElement(psa, index, text), S_OK);
    SysFreeString(text);
    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(psa, &copy), S_OK);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    VARTYPE vt = VT_EMPTY;
    ASSERT_EQ(SafeArrayGetVartype(copy, &vt), S_OK);
    EXPECT_EQ(vt, VT_BSTR);
    LONG lower = 0;
    ASSERT_EQ(SafeArrayGetLBound(copy, 2, &lower), S_OK);
    EXPECT_EQ(lower, 5);
    BSTR read = nullptr;
    ASSERT_EQ(SafeArrayGetElement(copy, index, &read), S_OK);
    EXPECT_EQ(Text(read), u"kept");
    SysFreeString(read);
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
}

TEST(SafeArray, LockedArrayCannotBeDestroyedOrResized) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_R8, 0, 4);
    ASSERT_NE(psa, nullptr);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
    EXPECT_EQ(data, psa->pvData);
    EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
    SAFEARRAYBOUND bound{8, 0};
    EXPECT_EQ(SafeArrayRedim(psa, &bound), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(psa), E_UNEXPECTED);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArray, RedimKeepsValuesZeroesNewOnesAndFreesCutStrings) {
    SAFEARRAY* numbers = SafeArrayCreateVector(VT_I2, 0, 2);
    int16_t* data = static_cast<int16_t*>(numbers->pvData);
    data[0] = 7;
    data[1] = 8;
    SAFEARRAYBOUND grown{4, 1};
    ASSERT_EQ(SafeArrayRedim(numbers, &grown), S_OK);
    LONG index[] = {1, 2, 3, 4};
    int16_t values[4] = {};
    for (int k = 0; k < 4; ++k) ASSERT_EQ(SafeArrayGetElement(numbers, &index[k], &values[k]), S_OK);
    EXPECT_EQ(values[0], 7);
    EXPECT_EQ(values[1], 8);
    EXPECT_EQ(values[2], 0);
    EXPECT_EQ(values[3], 0);
    EXPECT_EQ(SafeArrayDestroy(numbers), S_OK);

    SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 0, 3);
    for (LONG i = 0; i < 3; ++i) {
        BSTR s = SysAllocString(u"cut");
        SafeArrayPutElement(strings, &i, s);
        SysFreeString(s);
    }
    SAFEARRAYBOUND shrunk{1, 0};
    ASSERT_EQ(SafeArrayRedim(strings, &shrunk), S_OK);
    LONG upper = -1;
    SafeArrayGetUBound(strings, 1, &upper);
    EXPECT_EQ(upper, 0);
    EXPECT_EQ(SafeArrayDestroy(strings), S_OK);
}

TEST(SafeArray, VariantElementsOwnTheirContents) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(u"inside");
    LONG index = 0;
    ASSERT_EQ(SafeArrayPutElement(psa, &index, &v), S_OK);
    VariantClear(&v);
    VARIANT read;
    ASSERT_EQ(SafeArrayGetElement(psa, &index, &read), S_OK);
    EXPECT_EQ(read.vt, VT_BSTR);
    EXPECT_EQ(Text(read.bstrVal), u"inside");
    VariantClear(&read);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArray, NullArgumentsGiveResultsNotCrashes) {
    LONG value = 0;
    void* data = nullptr;
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
    EXPECT_EQ(SafeArrayGetDim(nullptr), 0u);
    EXPECT_EQ(SafeArrayGetElemsize(nullptr), 0u);
    EXPECT_EQ(SafeArrayGetLBound(nullptr, 1, &value), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetUBound(nullptr, 1, &value), E_INVALIDARG);
    EXPECT_EQ(SafeArrayAccessData(nullptr, &data), E_INVALIDARG);
    EXPECT_EQ(SafeArrayUnaccessData(nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetVartype(nullptr, &vt), E_INVALIDARG);
    EXPECT_EQ(SafeArrayPutElement(nullptr, &value, &value), E_INVALIDARG);
    EXPECT_EQ(SafeArrayRedim(nullptr, nullptr), E_INVALIDARG);
    SAFEARRAY* psa = SafeArrayCreateVector(VT_I4, 0, 1);
    EXPECT_EQ(SafeArrayGetLBound(psa, 1, nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayPutElement(psa, nullptr, &value), E_INVALIDARG);
    EXPECT_EQ(SafeArrayPutElement(psa, &value, nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetElement(psa, &value, nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayCopy(psa, nullptr), E_INVALIDARG);
    SAFEARRAY* copy = psa;
    EXPECT_EQ(SafeArrayCopy(nullptr, &copy), S_OK);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

} // namespace
