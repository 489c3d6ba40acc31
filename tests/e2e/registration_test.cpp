// Registration, the class factory, unloading and the object's identity.
#include <algorithm>
#include <initializer_list>

#include "fixture.h"

namespace e2e {
namespace {

std::string GuidKey(const CLSID& clsid) {
    OLECHAR text[40] = {};
    StringFromGUID2(clsid, text, 40);
    return "CLSID\\" + Utf8(std::u16string(text));
}

constexpr const char16_t* kControls[] = {u"Velmora.ucGeneral", u"Velmora.ucADC", u"Velmora.ucDAC",
                                         u"Velmora.ucDIO", u"Velmora.ucIP"};

using Registration = HostTest;

TEST_F(Registration, WritesTheClassTheDriverFolderAndTheUserControls) {
    const std::string classKey = GuidKey(CLSID_Lintara);
    EXPECT_EQ(ReadClassesText(classKey, ""), "Lintara");
    EXPECT_EQ(ReadClassesText(classKey + "\\InprocServer32", ""), (DriverFolder() / "Lintara.adc").string());
    EXPECT_EQ(ReadClassesText(classKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(ReadClassesText(classKey + "\\ProgID", ""), "Velmora.Lintara");
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"Velmora.Lintara", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_Lintara);

    std::vector<CLSID> seen{CLSID_Lintara};
    for (const char16_t* control : kControls) {
        SCOPED_TRACE(Utf8(control));
        ASSERT_EQ(CLSIDFromProgID(control, &clsid), S_OK);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), clsid), 0);
        seen.push_back(clsid);
        // Looked up, never created through the runtime.
        Ptr<IUnknown> unknown;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, unknown.outVoid()),
                  REGDB_E_CLASSNOTREG);
        EXPECT_FALSE(ClassesKeyExists(GuidKey(clsid) + "\\InprocServer32"));
    }
}

TEST_F(Registration, UnregisterRemovesWhatRegisterWrote) {
    CLSID ucIp{};
    ASSERT_EQ(CLSIDFromProgID(u"Velmora.ucIP", &ucIp), S_OK);
    ASSERT_EQ(UnregisterDriver(), S_OK);
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(u"Velmora.Lintara", &clsid), CO_E_CLASSSTRING);
    for (const char16_t* control : kControls) EXPECT_EQ(CLSIDFromProgID(control, &clsid), CO_E_CLASSSTRING);
    EXPECT_FALSE(ClassesKeyExists(GuidKey(CLSID_Lintara)));
    EXPECT_FALSE(ClassesKeyExists(GuidKey(ucIp)));
    EXPECT_FALSE(ClassesKeyExists("Velmora.Lintara"));
    Ptr<IADC3> adc;
    EXPECT_EQ(CreateDriver(IID_IADC3, adc.outVoid()), CO_E_CLASSSTRING);
    EXPECT_EQ(UnregisterDriver(), S_OK) << "removing again finds nothing to remove";
}

TEST_F(Registration, ExportsOnlyTheFourEntryPoints) {
    for (const char* name :
         {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"})
        EXPECT_NE(DriverSymbol(name), nullptr) << name;
    // velmora::driver::State() and the engine's start of recording stay inside.
    EXPECT_EQ(DriverSymbol("_ZN7velmora6driver5StateEv"), nullptr);
    EXPECT_EQ(DriverSymbol("_ZN7velmora6engine14StartRecordingERNS_6driver11DriverStateE"), nullptr);
}

TEST_F(Registration, FactoryRefusesOtherClassesAggregationAndUnknownInterfaces) {
    auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(DriverSymbol("DllGetClassObject"));
    auto canUnload = reinterpret_cast<LPFNCANUNLOADNOW>(DriverSymbol("DllCanUnloadNow"));
    ASSERT_NE(getClassObject, nullptr);
    Ptr<IClassFactory> factory;
    EXPECT_EQ(getClassObject(IID__Lintara, IID_IClassFactory, factory.outVoid()), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_FALSE(factory);
    ASSERT_EQ(getClassObject(CLSID_Lintara, IID_IClassFactory, factory.outVoid()), S_OK);

    Ptr<IUnknown> object;
    int outer = 0; // only its presence matters
    EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(&outer), IID_IUnknown, object.outVoid()),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, object.outVoid()), E_NOINTERFACE);
    EXPECT_FALSE(object);
    EXPECT_EQ(canUnload(), S_OK) << "a refused interface leaves no object";

    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IADC3, object.outVoid()), S_OK);
    EXPECT_EQ(canUnload(), S_FALSE);
    object.Reset();
    EXPECT_EQ(canUnload(), S_OK);
    factory->LockServer(1);
    EXPECT_EQ(canUnload(), S_FALSE);
    factory->LockServer(0);
    EXPECT_EQ(canUnload(), S_OK);
}

using Identity = HostTest;

TEST_F(Identity, FacesShareTheObjectsIdentityAndReferenceCount) {
    Ptr<_Lintara> lintara;
    ASSERT_EQ(CreateDriver(IID__Lintara, lintara.outVoid()), S_OK);
    Ptr<IUnknown> unknown;
    Ptr<IDispatch> dispatch;
    Ptr<IADC3> adc;
    ASSERT_EQ(lintara->QueryInterface(IID_IUnknown, unknown.outVoid()), S_OK);
    ASSERT_EQ(lintara->QueryInterface(IID_IDispatch, dispatch.outVoid()), S_OK);
    ASSERT_EQ(lintara->QueryInterface(IID_IADC3, adc.outVoid()), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown.get()), static_cast<void*>(lintara.get()));
    EXPECT_EQ(static_cast<void*>(dispatch.get()), static_cast<void*>(lintara.get()));
    EXPECT_NE(static_cast<void*>(adc.get()), static_cast<void*>(lintara.get()));

    Ptr<IUnknown> back;
    ASSERT_EQ(adc->QueryInterface(IID_IUnknown, back.outVoid()), S_OK);
    EXPECT_EQ(back.get(), unknown.get());
    const ULONG count = lintara->AddRef();
    EXPECT_EQ(adc->AddRef(), count + 1);
    EXPECT_EQ(adc->Release(), count);
    EXPECT_EQ(lintara->Release(), count - 1);

    // Every face answers for the others and leads back to the one identity.
    Ptr<IDIO> dio;
    Ptr<IDAO> dao;
    ASSERT_EQ(adc->QueryInterface(IID_IDIO, dio.outVoid()), S_OK);
    ASSERT_EQ(dio->QueryInterface(IID_IDAO, dao.outVoid()), S_OK);
    EXPECT_NE(static_cast<void*>(dio.get()), static_cast<void*>(adc.get()));
    EXPECT_NE(static_cast<void*>(dao.get()), static_cast<void*>(dio.get()));
    Ptr<IADC3> adcAgain;
    ASSERT_EQ(dao->QueryInterface(IID_IADC3, adcAgain.outVoid()), S_OK);
    EXPECT_EQ(adcAgain.get(), adc.get());
    for (IUnknown* face : std::initializer_list<IUnknown*>{dio.get(), dao.get()}) {
        Ptr<IUnknown> identity;
        ASSERT_EQ(face->QueryInterface(IID_IUnknown, identity.outVoid()), S_OK);
        EXPECT_EQ(identity.get(), unknown.get());
    }
    EXPECT_EQ(dao->AddRef(), count + 3);
    EXPECT_EQ(dio->Release(), count + 2); // the AddRef above, paid back through another face

    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(adc->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(adc->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(Identity, GetAdc3GetDioGetDaoAndParentReturnTheObject) {
    Ptr<_Lintara> lintara;
    ASSERT_EQ(CreateDriver(IID__Lintara, lintara.outVoid()), S_OK);
    Ptr<IADC3> adc;
    ASSERT_EQ(lintara->QueryInterface(IID_IADC3, adc.outVoid()), S_OK);
    Ptr<IDispatch> viaAdc3, viaDio, viaDao, parent;
    ASSERT_EQ(lintara->GetADC3(viaAdc3.out()), S_OK);
    ASSERT_EQ(lintara->GetDIO(viaDio.out()), S_OK);
    ASSERT_EQ(lintara->GetDAO(viaDao.out()), S_OK);
    ASSERT_EQ(adc->get_Parent(parent.out()), S_OK);
    for (IDispatch* object : {viaAdc3.get(), viaDio.get(), viaDao.get(), parent.get()})
        EXPECT_EQ(static_cast<void*>(object), static_cast<void*>(lintara.get()));
    EXPECT_EQ(lintara->GetADC3(nullptr), E_POINTER);

    // The same through IDispatch: _Lintara's own members and IADC3's Parent.
    Variant result;
    ASSERT_EQ(Dispatcher(lintara.get()).Call(u"getdao", &result), S_OK);
    ASSERT_EQ(result->vt, VT_DISPATCH);
    EXPECT_EQ(static_cast<void*>(result->pdispVal), static_cast<void*>(lintara.get()));
    Variant viaInvoke;
    ASSERT_EQ(Dispatcher(adc.get()).Get(u"Parent", &viaInvoke), S_OK);
    EXPECT_EQ(static_cast<void*>(viaInvoke->pdispVal), static_cast<void*>(lintara.get()));
}

} // namespace
} // namespace e2e
