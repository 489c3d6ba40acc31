// The driver object as a host sees it: registration, the one object behind
// the faces, IADC3's description through the vtable and Invoke, the channel
// settings, detection, the setup dialog without a display and the settings
// kept across a restart.
#include <algorithm>
#include <functional>
#include <tuple>

#include "host.h"

namespace e2e {
namespace {

std::string GuidKey(const CLSID& clsid) {
    OLECHAR text[40] = {};
    StringFromGUID2(clsid, text, 40);
    return "CLSID\\" + std::string(text, text + std::char_traits<char16_t>::length(text));
}

HOST_TEST(Registration, WritesTheKeysAndUnregisterRemovesThem) {
    const std::string classKey = GuidKey(CLSID_Lintara);
    EXPECT_EQ(ReadValue(classKey + "\\InprocServer32", "", true).c_str(),
              (DriverFolder() / "Lintara.adc").string());
    EXPECT_EQ(ReadValue(classKey + "\\ProgID", "", true).c_str(), std::string("Velmora.Lintara"));
    const char16_t* progIds[] = {u"Velmora.Lintara", u"Velmora.ucGeneral", u"Velmora.ucADC",
                                 u"Velmora.ucDAC",   u"Velmora.ucDIO",     u"Velmora.ucIP"};
    std::vector<CLSID> seen;
    for (const char16_t* progId : progIds) {
        SCOPED_TRACE(testing::PrintToString(progId));
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID(progId, &clsid), S_OK);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), clsid), 0) << "a class shared with another ProgID";
        seen.push_back(clsid);
    }
    EXPECT_EQ(seen[0], CLSID_Lintara) << "Velmora.Lintara names another class";

    ASSERT_EQ(CallEntry("DllUnregisterServer"), S_OK);
    auto keyExists = [](const std::string& key) {
        return WithKey(key, true, false, [](reg::HKEY) { return true; });
    };
    for (size_t i = 0; i < std::size(progIds); ++i) {
        SCOPED_TRACE(testing::PrintToString(progIds[i]));
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(progIds[i], &clsid), CO_E_CLASSSTRING) << "left behind";
        EXPECT_FALSE(keyExists(GuidKey(seen[i]))) << "its class left behind";
    }
    EXPECT_FALSE(keyExists("Velmora.Lintara")) << "the ProgID key left behind";
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
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(got[i].get(), lintara.get()) << "GetADC3, GetDIO, GetDAO, Parent: " << i;
    Var dao, parent;
    ASSERT_EQ(Get(lintara.get(), u"getdao", &dao), S_OK);
    ASSERT_EQ(Get(adc.get(), u"Parent", &parent), S_OK);
    EXPECT_EQ(dao.pdispVal, lintara.get()) << "GetDAO through Invoke";
    EXPECT_EQ(parent.pdispVal, lintara.get()) << "Parent through Invoke";
}

// A result as text: numbers and Booleans converted, String arrays joined.
std::u16string AsText(VARIANT* value) {
    std::u16string text = (value->vt & VT_ARRAY) && value->parray == nullptr ? u"null" : u"";
    for (LONG i = 0;
         value->vt == (VT_ARRAY | VT_BSTR) && i < static_cast<LONG>(value->parray->rgsabound[0].cElements);
         ++i)
        text += static_cast<BSTR*>(value->parray->pvData)[i] + std::u16string(u";");
    Var converted;
    if (SUCCEEDED(VariantChangeType(&converted, value, 0, VT_BSTR))) text = converted.bstrVal;
    return text;
}

// A getter called through the vtable, its result in the VARIANT's value.
using VtableGet = std::function<HRESULT(VARIANT*)>;
template <typename T> VtableGet Vt(IADC3* adc, HRESULT (IADC3::*member)(T*)) {
    return [=](VARIANT* v) { return (adc->*member)(reinterpret_cast<T*>(&v->llVal)); };
}
template <typename T> VtableGet Vt(IADC3* adc, HRESULT (IADC3::*member)(int16_t*, T*), int16_t* index) {
    return [=](VARIANT* v) { return (adc->*member)(index, reinterpret_cast<T*>(&v->llVal)); };
}

HOST_TEST(AdcMembers, DescriptionThroughTheVtableAndInvokeThenDetection) {
    velmora::test::ScopedEnv locale("LC_ALL", "C"); // range names follow the user's decimal separator
    ComPtr<IADC3> adc = CreateAdc();
    IADC3* a = adc.get();
    int16_t index = 15;
    const VARIANT byRef = Arg(VT_BYREF | VT_I2, &index);
    const std::tuple<const char16_t*, std::vector<VARIANT>, VARTYPE, std::u16string, VtableGet> members[] = {
        {u"adcname", {}, VT_BSTR, u"E16", Vt(a, &IADC3::get_ADCName)},
        {u"Resolution", {}, VT_UI1, u"16", Vt(a, &IADC3::get_Resolution)},
        {u"ChannelsCount", {}, VT_I2, u"32", Vt(a, &IADC3::get_ChannelsCount)},
        {u"RateMax", {}, VT_R4, u"500000", Vt(a, &IADC3::get_RateMax)},
        {u"Ranges", {}, VT_ARRAY | VT_BSTR, u"±10 V;±2.5 V;±0.625 V;±0.156 V;", Vt(a, &IADC3::get_Ranges)},
        {u"Detected", {}, VT_BOOL, u"0", Vt(a, &IADC3::get_Detected)},
        {u"BasePort", {}, VT_I2, u"0", Vt(a, &IADC3::get_BasePort)},
        {u"Busy", {}, VT_BOOL, u"0", Vt(a, &IADC3::get_Busy)},
        {u"ChannelName", {byRef}, VT_BSTR, u"XY16", Vt(a, &IADC3::get_ChannelName, &index)},
        {u"ChannelUnitScale", {I4(15)}, VT_R4, u"3200", Vt(a, &IADC3::get_ChannelUnitScale, &index)},
        {u"ChannelUnitName", {R8(15.0)}, VT_BSTR, u"", Vt(a, &IADC3::get_ChannelUnitName, &index)},
        {u"InputCountChannels", {}, VT_I2, u"1", Vt(a, &IADC3::get_InputCountChannels)},
        {u"LastError", {}, VT_BSTR, u"", Vt(a, &IADC3::get_LastError)},
        {u"GetKadr", {}, VT_ARRAY | VT_I2, u"null", Vt(a, &IADC3::GetKadr)},
    };
    for (const auto& [name, args, vt, text, vtable] : members) {
        SCOPED_TRACE(testing::PrintToString(name));
        Var byVtable, byInvoke;
        ASSERT_EQ(vtable(&byVtable), S_OK) << "through the vtable";
        byVtable.vt = vt;
        ASSERT_EQ(Get(a, name, &byInvoke, args), S_OK) << "through Invoke";
        EXPECT_EQ(byInvoke.vt, vt) << "type through Invoke";
        EXPECT_EQ(AsText(&byVtable), text) << "through the vtable";
        EXPECT_EQ(AsText(&byInvoke), text) << "through Invoke";
    }
    SAFEARRAY* kadr = reinterpret_cast<SAFEARRAY*>(1);
    ASSERT_EQ(adc->GetKadr(&kadr), S_OK);
    EXPECT_EQ(kadr, nullptr) << "not left as it was";
    EXPECT_EQ(adc->get_ADCName(nullptr), E_POINTER) << "no out pointer";

    adc = DetectedAdc(); // 127.0.0.1, preselected with no address list
}

HOST_TEST(AdcMembers, RangesRateAndSelectionKeepTheirLimits) {
    ComPtr<IADC3> adc = DetectedAdc();
    auto range = [&](int16_t index) {
        int16_t value = -7;
        EXPECT_EQ(adc->get_ChannelRange(&index, &value), S_OK);
        return value;
    };
    for (auto [channel, value] : {std::pair<int16_t, int16_t>{3, 2}, {3, 4}, {3, -1}, {32, 1}, {-1, 1}})
        EXPECT_EQ(adc->put_ChannelRange(&channel, &value), S_OK)
            << "channel " << channel << " range " << value;
    EXPECT_EQ(range(3), 2) << "a range outside 0..3 was taken";
    EXPECT_EQ(range(32), 0) << "channel 32";
    EXPECT_EQ(range(-1), 0) << "channel -1";

    auto rateAfter = [&](float request) {
        adc->put_Rate(&request);
        float rate = 0;
        adc->get_Rate(&rate);
        return rate;
    };
    EXPECT_EQ(rateAfter(-500.0f), 500.0f) << "a negative rate";
    EXPECT_EQ(rateAfter(600000.0f), 500000.0f) << "a rate above the maximum";

    // A selection by Invoke; then ones with a channel outside 0..31 or none.
    SAFEARRAY* table = Int16Vector({5, 31, 0});
    ASSERT_EQ(Put(adc.get(), u"InputChannels", {Arg(VT_ARRAY | VT_I2, table)}), S_OK);
    SafeArrayDestroy(table);
    for (const auto& ignored : {std::vector<int16_t>{}, {0, 32}, {-1, 2}}) Select(adc.get(), ignored);
    Var selection;
    ASSERT_EQ(Get(adc.get(), u"InputChannels", &selection), S_OK);
    ASSERT_EQ(selection.vt, VT_ARRAY | VT_I2);
    EXPECT_EQ(Int16Elements(selection.parray), (std::vector<int16_t>{5, 31, 0}))
        << "an empty selection or one with a channel outside 0..31 was taken";
}

HOST_TEST(Detection, ARefusedAddressFailsAndTheNextTestAsksAgain) {
    WriteAddressList("127.0.0.9\r\n");
    ComPtr<IADC3> adc = CreateAdc();
    VARIANT_BOOL result = VARIANT_TRUE;
    int16_t port = -1;
    ASSERT_EQ(adc->Test(&result), S_OK);
    EXPECT_EQ(result, VARIANT_FALSE) << "a refused address was detected";
    adc->get_BasePort(&port);
    EXPECT_EQ(port, 0);
    const std::u16string error = LastError(adc.get());
    EXPECT_TRUE(error.starts_with(u"Error ")) << testing::PrintToString(error);
    EXPECT_TRUE(error.ends_with(u".")) << testing::PrintToString(error);
    EXPECT_GT(error.size(), 8u) << "no text after the code: " << testing::PrintToString(error);
    ASSERT_EQ(adc->StartRecord(&result), S_OK);
    EXPECT_EQ(result, VARIANT_FALSE) << "started before detection";
    EXPECT_EQ(LastError(adc.get()), error) << "a start before detection leaves the error";

    // The chooser now preselects the module without a DAC.
    WriteAddressList("127.0.0.2\r\n");
    ASSERT_EQ(adc->Test(&result), S_OK);
    EXPECT_EQ(result, VARIANT_TRUE) << "the module without a DAC was not detected";
    adc->get_BasePort(&port);
    EXPECT_EQ(port, (0x7F000002 & 0x7FFF) + 1);
    EXPECT_EQ(LastError(adc.get()), u"") << "a successful detection clears the error";
    ComPtr<IDAO> dao = Query<IDAO>(adc.get(), IID_IDAO);
    int16_t channels = -1;
    dao->get_Detected(&result);
    dao->get_ChannelsCount(&channels);
    EXPECT_EQ(result, VARIANT_FALSE) << "outputs detected on a module without a DAC";
    EXPECT_EQ(channels, 0) << "output channels on a module without a DAC";
}

// A host without a display or Qt: the driver's console answers ShowSetting
// with its message, and nothing changes.
HOST_TEST(SetupDialog, WithoutADisplayTheConsoleSaysItNeedsOne) {
    ComPtr<IADC3> adc = DetectedAdc();
    testing::internal::CaptureStderr();
    VARIANT_BOOL result = VARIANT_TRUE;
    const HRESULT hr = adc->ShowSetting(&result);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(result, VARIANT_FALSE);
    EXPECT_EQ(said, "The setup dialog needs a display (DISPLAY or WAYLAND_DISPLAY); none is available.\n");
}

HOST_TEST(Detection, AVendorLibraryOlderThan1130IsRefused) {
    if (Phase() == "old library") {
        ComPtr<IADC3> adc = CreateAdc();
        VARIANT_BOOL found = VARIANT_TRUE;
        ASSERT_EQ(adc->Test(&found), S_OK);
        EXPECT_EQ(found, VARIANT_FALSE) << "detected with the old library";
        EXPECT_EQ(LastError(adc.get()), u"Please reinstall E16 driver (X502API v1.1.30 is required)!");
        return;
    }
    // The vendor library is bound once per process: a new one, in a folder
    // that holds the old library beside the driver.
    velmora::test::TempDir folder;
    LinkDriverInto(folder.path());
    fs::create_symlink(E2E_OLD_VENDOR_FILE, folder.path() / "libx502api.so.1");
    velmora::test::ScopedEnv driverFolder("E2E_DRIVER_FOLDER", folder.str());
    EXPECT_EQ(RunPhase("old library"), 0) << "the host with the old library failed";
}

// Analog level, transition up, watching logical 3 on range 2 at 1234 codes.
// clang-format off
constexpr std::pair<const char*, uint32_t> kSync[] = {{"SynchroStartMode", 5}, {"SynchroADDirection", 1},
    {"SynchroADChannel", 3}, {"SynchroADRange", 2}, {"SynchroADPorog", 1234}};
// clang-format on

HOST_TEST(Settings, SurviveARestartOfTheHost) {
    if (Phase() == "restarted") {
        ComPtr<IADC3> adc = CreateAdc();
        std::u16string names;
        for (int16_t k : {0, 1, 3, 20}) {
            BSTR name = nullptr;
            adc->get_ChannelName(&k, &name);
            names += Take(name) + u",";
        }
        EXPECT_EQ(names, u"X6,XY2,Calibration 0,Y5,") << "the table is back before detection";
        adc = DetectedAdc();
        float rate = 0;
        adc->get_Rate(&rate);
        EXPECT_EQ(rate, 2000.0f) << "rate";
        e16sim_config config{};
        ASSERT_EQ(e16sim_get_config(E16SIM_MODULE_DAC, 1, &config), 0);
        EXPECT_EQ(config.sync_start_mode, 8u + 1u) << "analog level start, upward";
        EXPECT_EQ(config.watch_phy, 19u) << "logical 3, watched against ground";
        EXPECT_NEAR(config.watch_level, 1234.0 / 51200.0, 1e-9) << "level in volts on range 2";
        return;
    }
    // Logical 0 on X6 and 20 on Y5 against ground, 3 on physical 19
    // differentially (the zero measurement).
    ASSERT_TRUE(SetValue(kSettingsKey, "ADChannels", kRegBinary,
                         ChannelTable({{0, 5 | 32}, {3, 19}, {20, 20 | 32}})));
    for (const auto& [name, value] : kSync)
        ASSERT_TRUE(
            SetValue(kModuleKey, name, kRegDword, std::string(reinterpret_cast<const char*>(&value), 4)));
    {
        ComPtr<IADC3> adc = DetectedAdc();
        float rate = 2000;
        adc->put_Rate(&rate);
        // Only what the driver holds can come back: clear the store under it.
        for (const char* key : {kSettingsKey, kModuleKey})
            for (const char* name : {"ADChannels", "Rate"}) DeleteValue(key, name);
        for (const auto& sync : kSync) DeleteValue(kModuleKey, sync.first);
    }
    EXPECT_TRUE(ReadValue(kSettingsKey, "SynchroStartMode").empty()) << "synchronization is per module";
    // The restarted host finds rate and table in the module-independent key.
    for (const char* name : {"ADChannels", "Rate"}) DeleteValue(kModuleKey, name);
    EXPECT_EQ(RunPhase("restarted"), 0) << "the restarted host failed";
}

} // namespace
} // namespace e2e
