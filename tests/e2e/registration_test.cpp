// Registration and the one object behind the three faces.
#include <algorithm>

#include "host.h"

namespace e2e {
namespace {

std::string GuidKey(const CLSID& clsid) {
    OLECHAR text[40] = {};
    StringFromGUID2(clsid, text, 40);
    return "CLSID\\" + std::string(text, text + std::char_traits<char16_t>::length(text));
}

// A default text value under HKEY_CLASSES_ROOT.
std::string Text(const std::string& key) {
    return ReadValue(key, "", true).c_str();
}

HOST_TEST(Registration, WritesTheKeysAndUnregisterRemovesThem) {
    const std::string classKey = GuidKey(CLSID_Lintara);
    EXPECT_EQ(Text(classKey + "\\InprocServer32"), (DriverFolder() / "Lintara.adc").string())
        << "server path";
    EXPECT_EQ(Text(classKey + "\\ProgID"), "Velmora.Lintara") << "ProgID of the class";
    const char16_t* progIds[] = {u"Velmora.Lintara", u"Velmora.ucGeneral", u"Velmora.ucADC",
                                 u"Velmora.ucDAC",   u"Velmora.ucDIO",     u"Velmora.ucIP"};
    std::vector<CLSID> seen;
    for (const char16_t* progId : progIds) {
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID(progId, &clsid), S_OK) << testing::PrintToString(progId);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), clsid), 0)
            << testing::PrintToString(progId) << " shares a class with another ProgID";
        seen.push_back(clsid);
    }
    EXPECT_EQ(seen[0], CLSID_Lintara) << "Velmora.Lintara names another class";

    ASSERT_EQ(CallEntry("DllUnregisterServer"), S_OK);
    for (size_t i = 0; i < std::size(progIds); ++i) {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(progIds[i], &clsid), CO_E_CLASSSTRING)
            << testing::PrintToString(progIds[i]) << " left behind";
        EXPECT_FALSE(KeyExists(GuidKey(seen[i])))
            << "the class of " << testing::PrintToString(progIds[i]) << " left behind";
    }
    EXPECT_FALSE(KeyExists("Velmora.Lintara")) << "the ProgID key left behind";
}

HOST_TEST(Identity, TheFacesShareOneIdentityAndGetFacesReturnTheObject) {
    ComPtr<_Lintara> lintara = Query<_Lintara>(CreateAdc().get(), IID__Lintara);
    ComPtr<IUnknown> identity = Query<IUnknown>(lintara.get(), IID_IUnknown);
    const std::pair<const IID*, const char*> faces[] = {
        {&IID__Lintara, "_Lintara"}, {&IID_IADC3, "IADC3"}, {&IID_IDIO, "IDIO"}, {&IID_IDAO, "IDAO"}};
    for (const auto& [face, faceName] : faces) {
        SCOPED_TRACE(faceName);
        ComPtr<IUnknown> object = Query<IUnknown>(lintara.get(), *face);
        EXPECT_EQ(Query<IUnknown>(object.get(), IID_IUnknown).get(), identity.get()) << "another identity";
        for (const auto& [other, otherName] : faces)
            EXPECT_EQ(Query<IUnknown>(object.get(), *other).get(),
                      Query<IUnknown>(lintara.get(), *other).get())
                << "another " << otherName;
    }
    ComPtr<IADC3> adc = Query<IADC3>(lintara.get(), IID_IADC3);
    const ULONG count = lintara->AddRef();
    EXPECT_EQ(adc->Release(), count - 1) << "one reference count for every face";

    ComPtr<IDispatch> got[4];
    ASSERT_EQ(lintara->GetADC3(got[0].put()), S_OK);
    ASSERT_EQ(lintara->GetDIO(got[1].put()), S_OK);
    ASSERT_EQ(lintara->GetDAO(got[2].put()), S_OK);
    ASSERT_EQ(adc->get_Parent(got[3].put()), S_OK);
    const char* gotBy[] = {"GetADC3", "GetDIO", "GetDAO", "Parent"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(got[i].get(), lintara.get()) << gotBy[i];
    Var dao, parent;
    ASSERT_EQ(Dispatcher(lintara.get()).Get(u"getdao", &dao), S_OK);
    ASSERT_EQ(Dispatcher(adc.get()).Get(u"Parent", &parent), S_OK);
    EXPECT_EQ(dao.pdispVal, lintara.get()) << "GetDAO through Invoke";
    EXPECT_EQ(parent.pdispVal, lintara.get()) << "Parent through Invoke";
}

} // namespace
} // namespace e2e
