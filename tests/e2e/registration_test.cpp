// Registration, the exports, and the one object behind the three faces.
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
    EXPECT_EQ(Text(classKey + "\\InprocServer32"), (DriverFolder() / "Lintara.adc").string());
    EXPECT_EQ(Text(classKey + "\\ProgID"), "Velmora.Lintara");
    const char16_t* progIds[] = {u"Velmora.Lintara", u"Velmora.ucGeneral", u"Velmora.ucADC",
                                 u"Velmora.ucDAC",   u"Velmora.ucDIO",     u"Velmora.ucIP"};
    std::vector<CLSID> seen;
    for (const char16_t* progId : progIds) {
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID(progId, &clsid), S_OK);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), clsid), 0);
        seen.push_back(clsid);
    }
    EXPECT_EQ(seen[0], CLSID_Lintara);

    ASSERT_EQ(CallEntry("DllUnregisterServer"), S_OK);
    for (size_t i = 0; i < std::size(progIds); ++i) {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(progIds[i], &clsid), CO_E_CLASSSTRING);
        EXPECT_FALSE(KeyExists(GuidKey(seen[i])));
    }
    EXPECT_FALSE(KeyExists("Velmora.Lintara"));
}

TEST(Registration, OnlyTheFourEntryPointsAreExported) {
    EXPECT_EQ(ExportedNames(E2E_LINTARA_FILE),
              (std::vector<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                        "DllUnregisterServer"}));
}

HOST_TEST(Identity, TheFacesShareOneIdentityAndGetFacesReturnTheObject) {
    ComPtr<_Lintara> lintara = Query<_Lintara>(CreateAdc().get(), IID__Lintara);
    ComPtr<IUnknown> identity = Query<IUnknown>(lintara.get(), IID_IUnknown);
    const IID* faces[] = {&IID__Lintara, &IID_IADC3, &IID_IDIO, &IID_IDAO};
    for (const IID* face : faces) {
        ComPtr<IUnknown> object = Query<IUnknown>(lintara.get(), *face);
        EXPECT_EQ(Query<IUnknown>(object.get(), IID_IUnknown).get(), identity.get());
        for (const IID* other : faces)
            EXPECT_EQ(Query<IUnknown>(object.get(), *other).get(),
                      Query<IUnknown>(lintara.get(), *other).get());
    }
    ComPtr<IADC3> adc = Query<IADC3>(lintara.get(), IID_IADC3);
    const ULONG count = lintara->AddRef();
    EXPECT_EQ(adc->Release(), count - 1) << "one reference count for every face";

    ComPtr<IDispatch> got[4];
    ASSERT_EQ(lintara->GetADC3(got[0].put()), S_OK);
    ASSERT_EQ(lintara->GetDIO(got[1].put()), S_OK);
    ASSERT_EQ(lintara->GetDAO(got[2].put()), S_OK);
    ASSERT_EQ(adc->get_Parent(got[3].put()), S_OK);
    for (const ComPtr<IDispatch>& object : got) EXPECT_EQ(object.get(), lintara.get());
    Var dao, parent;
    ASSERT_EQ(Dispatcher(lintara.get()).Get(u"getdao", &dao), S_OK);
    ASSERT_EQ(Dispatcher(adc.get()).Get(u"Parent", &parent), S_OK);
    EXPECT_EQ(dao.pdispVal, lintara.get());
    EXPECT_EQ(parent.pdispVal, lintara.get());
}

} // namespace
} // namespace e2e
