#include <velmora/com.h>

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

TEST(SafeArray, EveryNumericTypeHoldsItsElementsWithinItsBounds) {
    const std::pair<VARTYPE, UINT> kinds[] = {{VT_I2, 2}, {VT_I4, 4},  {VT_R4, 4},
                                              {VT_R8, 8}, {VT_UI1, 1}, {VT_BOOL, 2}};
    SAFEARRAYBOUND bounds[2] = {{2, 1}, {3, -1}}; // rows 1..2, columns -1..1
    uint8_t in[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    for (const auto& [vt, size] : kinds) {
        for (UINT dims : {1u, 2u}) {
            SCOPED_TRACE(std::to_string(vt) + " in " + std::to_string(dims) + " dimensions");
            SAFEARRAY* psa = SafeArrayCreate(vt, dims, bounds);
            ASSERT_NE(psa, nullptr);
            VARTYPE stored = VT_EMPTY;
            LONG lower = 0, upper = 0, last[2] = {2, 1};
            EXPECT_EQ(SafeArrayGetElemsize(psa), size);
            EXPECT_EQ(SafeArrayGetVartype(psa, &stored), S_OK);
            EXPECT_EQ(stored, vt);
            EXPECT_EQ(SafeArrayGetLBound(psa, dims, &lower), S_OK);
            EXPECT_EQ(SafeArrayGetUBound(psa, dims, &upper), S_OK);
            EXPECT_EQ(lower, bounds[dims - 1].lLbound);
            EXPECT_EQ(upper, bounds[dims - 1].lLbound + static_cast<LONG>(bounds[dims - 1].cElements) - 1);
            EXPECT_EQ(SafeArrayGetLBound(psa, dims + 1, &lower), DISP_E_BADINDEX);
            uint8_t out[8] = {};
            ASSERT_EQ(SafeArrayPutElement(psa, last, in), S_OK);
            ASSERT_EQ(SafeArrayGetElement(psa, last, out), S_OK);
            EXPECT_EQ(std::memcmp(out, in, size), 0) << "the element read back differs";
            for (LONG outside : {0, 3}) {
                LONG index[2] = {outside, 0};
                EXPECT_EQ(SafeArrayGetElement(psa, index, out), DISP_E_BADINDEX) << outside;
                EXPECT_EQ(SafeArrayPutElement(psa, index, out), DISP_E_BADINDEX) << outside;
            }
            EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
        }
    }
}

// The leak checker fails this test if replacing or destroying leaks a string.
TEST(SafeArray, StringElementsAreCopiesTheArrayOwns) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 1, 3);
    ASSERT_NE(psa, nullptr);
    EXPECT_EQ(SafeArrayGetElemsize(psa), sizeof(BSTR));
    for (const char16_t* text : {u"first", u"±10 V", u"±2.5 V"}) {
        for (LONG i = 1; i <= 2; ++i) {
            BSTR s = SysAllocString(text);
            ASSERT_EQ(SafeArrayPutElement(psa, &i, s), S_OK);
            SysFreeString(s);
        }
    }
    LONG index = 2;
    BSTR read = nullptr;
    ASSERT_EQ(SafeArrayGetElement(psa, &index, &read), S_OK);
    EXPECT_NE(read, static_cast<BSTR*>(psa->pvData)[1]) << "the stored string itself, not a copy";
    EXPECT_EQ(std::u16string(read, SysStringLen(read)), u"±2.5 V");
    SysFreeString(read);
    index = 3;
    ASSERT_EQ(SafeArrayGetElement(psa, &index, &read), S_OK);
    EXPECT_EQ(read, nullptr) << "an element never written";
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

} // namespace
