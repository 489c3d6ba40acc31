// The driver object as a host sees it, through the vtable and Invoke.
// Detection and the console's setup dialog are the Python package's and
// e16rec's tests.
#include <algorithm>
#include <cmath>
#include <tuple>

#include "host.h"
#include "sim_probes.h"

namespace e2e {
namespace {

std::string GuidKey(const CLSID& clsid) {
    OLECHAR text[40] = {};
    StringFromGUID2(clsid, text, 40);
    return "CLSID\\" + std::string(text, text + std::char_traits<char16_t>::length(text));
}

const char16_t* const kProgIds[] = {u"Velmora.Lintara", u"Velmora.ucGeneral", u"Velmora.ucADC",
                                    u"Velmora.ucDAC",   u"Velmora.ucDIO",     u"Velmora.ucIP"};

// Registration writes a class of its own for every ProgID; unregistration
// removes every key it wrote.
HOST_TEST(Registration, EveryProgIdHasAClassUntilUnregistered) {
    char progId[64] = {};
    reg::DWORD size = sizeof progId - 1;
    reg::RegQueryValueEx(Key(reg::HKEY_CLASSES_ROOT, GuidKey(CLSID_Lintara) + "\\ProgID").key, "", nullptr,
                         reinterpret_cast<uint8_t*>(progId), &size);
    EXPECT_STREQ(progId, "Velmora.Lintara") << "the class's ProgID";
    std::vector<CLSID> seen(std::size(kProgIds));
    for (size_t i = 0; i < std::size(kProgIds); ++i) {
        EXPECT_EQ(CLSIDFromProgID(kProgIds[i], &seen[i]), S_OK) << i;
        EXPECT_EQ(std::count(seen.begin(), seen.begin() + i, seen[i]), 0) << "a class shared by ProgID " << i;
    }
    EXPECT_EQ(seen[0], CLSID_Lintara) << "Velmora.Lintara names another class";

    ASSERT_EQ(CallEntry("DllUnregisterServer"), S_OK);
    for (size_t i = 0; i < std::size(kProgIds); ++i) {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(kProgIds[i], &clsid), CO_E_CLASSSTRING) << "ProgID " << i << " left behind";
        EXPECT_EQ(Key(reg::HKEY_CLASSES_ROOT, GuidKey(seen[i])).key, 0)
            << "the class of ProgID " << i << " left behind";
    }
    EXPECT_EQ(Key(reg::HKEY_CLASSES_ROOT, "Velmora.Lintara").key, 0) << "the ProgID key left behind";
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

// Arguments by reference, as a Long or a Double, array results, and the
// values no other test reads through the faces.
HOST_TEST(AdcMembers, InvokeReadsEveryMemberBeforeDetection) {
    ComPtr<IADC3> adc = CreateAdc();
    int16_t index = 15;
    const std::tuple<const char16_t*, std::vector<VARIANT>, VARTYPE, std::u16string> members[] = {
        {u"adcname", {}, VT_BSTR, u"E16"},
        {u"ChannelsCount", {}, VT_I2, u"32"},
        {u"BasePort", {}, VT_I2, u"0"},
        {u"ChannelName", {Arg(VT_BYREF | VT_I2, &index)}, VT_BSTR, u"XY16"},
        {u"ChannelUnitScale", {Arg(VT_I4, int32_t{15})}, VT_R4, u"3200"},
        {u"ChannelUnitName", {Arg(VT_R8, 15.0)}, VT_BSTR, u""},
        {u"InputCountChannels", {}, VT_I2, u"1"},
        {u"GetKadr", {}, VT_ARRAY | VT_I2, u"null"},
    };
    for (const auto& [name, args, vt, text] : members) {
        Var result;
        ASSERT_EQ(Invoke(adc.get(), name, &result, args), S_OK) << testing::PrintToString(name);
        EXPECT_EQ(std::pair(result.vt, AsText(&result)), std::pair(vt, text)) << testing::PrintToString(name);
    }
}

HOST_TEST(AdcMembers, OutPointersAreClearedOrRefused) {
    ComPtr<IADC3> adc = CreateAdc();
    SAFEARRAY* kadr = reinterpret_cast<SAFEARRAY*>(1);
    ASSERT_EQ(adc->GetKadr(&kadr), S_OK);
    EXPECT_EQ(kadr, nullptr) << "not left as it was";
    EXPECT_EQ(adc->get_ADCName(nullptr), E_POINTER) << "no out pointer";
    int16_t buffer[1];
    int32_t count = 1, copied = -1;
    EXPECT_EQ(adc->GetData(buffer, &count, nullptr, &copied), E_POINTER) << "no rest";
}

// A channel range, the rate and the selection out of their limits.
HOST_TEST(AdcMembers, SettingsKeepTheirLimits) {
    ComPtr<IADC3> adc = DetectedAdc();
    for (auto [channel, value] : {std::pair<int16_t, int16_t>{3, 2}, {3, 4}, {3, -1}, {32, 1}, {-1, 1}})
        EXPECT_EQ(adc->put_ChannelRange(&channel, &value), S_OK)
            << "channel " << channel << " range " << value;
    for (auto [channel, value] : {std::pair<int16_t, int16_t>{3, 2}, {32, 0}, {-1, 0}}) {
        int16_t range = -7;
        EXPECT_EQ(adc->get_ChannelRange(&channel, &range), S_OK);
        EXPECT_EQ(range, value) << "channel " << channel;
    }
    for (auto [asked, set] : {std::pair{-500.0f, 500.0f}, {std::nanf(""), 500.0f}, {600000.0f, 500000.0f}}) {
        adc->put_Rate(&asked);
        EXPECT_EQ(Get(adc.get(), &IADC3::get_Rate), set) << "asked " << asked;
    }
    // A selection by Invoke; then ones with a channel outside 0..31, none, or
    // more than the module's table of 256 holds.
    SAFEARRAY* table = Int16Vector({5, 31, 0});
    ASSERT_EQ(
        Invoke(adc.get(), u"InputChannels", nullptr, {Arg(VT_ARRAY | VT_I2, table)}, DISPATCH_PROPERTYPUT),
        S_OK);
    SafeArrayDestroy(table);
    for (const auto& ignored : {std::vector<int16_t>{}, {0, 32}, {-1, 2}, std::vector<int16_t>(257, 1)})
        Select(adc.get(), ignored);
    Var selection;
    ASSERT_EQ(Invoke(adc.get(), u"InputChannels", &selection), S_OK);
    ASSERT_EQ(selection.vt, VT_ARRAY | VT_I2);
    EXPECT_EQ(Int16Elements(selection.parray), (std::vector<int16_t>{5, 31, 0}))
        << "a selection the module cannot take whole was taken";
}

// The analog output of a detected driver; the face holds the object.
ComPtr<IDAO> DetectedDao() {
    return Query<IDAO>(DetectedAdc().get(), IID_IDAO);
}

HOST_TEST(AnalogOutput, AChannelTheModuleLacksHasNoName) {
    Var name;
    ASSERT_EQ(Invoke(DetectedDao().get(), u"ChannelName", &name, {Arg(VT_I2, int16_t{2})}), S_OK);
    EXPECT_EQ(AsText(&name), u"") << "a channel the module lacks has no name";
}

HOST_TEST(AnalogOutput, OnlyChangedLevelsAreWritten) {
    ComPtr<IDAO> dao = DetectedDao();
    int32_t counted = -1, untouched[] = {40000};
    dao->put_Value(0, 32000);
    dao->put_ValueReal(1, 1.0);
    const int64_t writes = e16sim_call_count("X502_AsyncOutDac");
    dao->put_ValueReal(1, 1.0);
    dao->put_Value(1, 3200);
    dao->put_Value(0, 40000);
    dao->put_Value(2, 100);
    ASSERT_EQ(dao->SetValues(0, 0, untouched, &counted), S_OK);
    EXPECT_EQ(counted, 0) << "an empty block";
    EXPECT_EQ(untouched[0], 40000) << "an empty block wrote to the caller's array";
    EXPECT_EQ(e16sim_call_count("X502_AsyncOutDac"), writes) << "no level changed";
}

// A code beyond the range stops at its end, written singly or in a block,
// and a block writes the limited codes back to the caller's array.
HOST_TEST(AnalogOutput, CodesStopAtTheLimits) {
    ComPtr<IDAO> dao = DetectedDao();
    dao->put_Value(0, 32000);
    dao->put_Value(1, -40000);
    EXPECT_EQ(ModuleDacLevel(0), 10.0) << "a code above the top";
    EXPECT_EQ(ModuleDacLevel(1), -10.0) << "a code below the bottom";
    // The block goes out through the two-channel write, unchanged levels too.
    int32_t counted = -1, values[] = {40000, -5, 7};
    const int64_t writes = e16sim_call_count("X502_AsyncOutDac");
    ASSERT_EQ(dao->SetValues(0, 3, values, &counted), S_OK);
    EXPECT_EQ(counted, 2) << "values of a block of three for two channels";
    EXPECT_EQ(std::vector<int32_t>(values, values + 3), (std::vector<int32_t>{32000, -5, 7}))
        << "the codes written back as limited";
    EXPECT_EQ(ModuleDacLevel(0), 10.0) << "channel 0 from the block";
    EXPECT_DOUBLE_EQ(ModuleDacLevel(1), -5 / 3200.0) << "channel 1 from the block";
    EXPECT_EQ(e16sim_call_count("X502_AsyncOutDac"), writes + 2) << "a block writes both channels";
    // Through Invoke, a block passed as a reference to the first Long of the
    // caller's array.
    int32_t untouched[] = {40000};
    Var blockCounted;
    ASSERT_EQ(Invoke(dao.get(), u"SetValues", &blockCounted,
                     {Arg(VT_I2, int16_t{1}), Arg(VT_R8, 1.0), Arg(VT_BYREF | VT_I4, untouched)}),
              S_OK);
    EXPECT_EQ(blockCounted.lVal, 1);
    EXPECT_EQ(untouched[0], 32000) << "the limited code written back through the reference";
}

HOST_TEST(Outputs, BeforeDetectionNothingReachesTheModule) {
    ComPtr<IADC3> adc = CreateAdc();
    ComPtr<IDIO> dio = Query<IDIO>(adc.get(), IID_IDIO);
    ComPtr<IDAO> dao = Query<IDAO>(adc.get(), IID_IDAO);
    int32_t word = 0x0F0F, codes[] = {100, 200}, counted = -1;
    dio->put_DOValue(&word);
    EXPECT_EQ(Get(dio.get(), &IDIO::get_DOValue), 0x0F0F) << "the word is stored";
    EXPECT_EQ(Get(dio.get(), &IDIO::get_DIValue), 0) << "inputs before detection";
    dao->put_ValueReal(0, 2.0);
    dao->SetValues(0, 2, codes, &counted);
    for (const char* entry : {"X502_AsyncOutDig", "X502_AsyncInDig", "X502_AsyncOutDac"})
        EXPECT_EQ(e16sim_call_count(entry), 0) << entry;

    // Detection reads the inputs, forgets the output word without writing the
    // lines, and puts both outputs at 0 V.
    double volts = -1;
    ASSERT_TRUE(Ask(adc.get(), &IADC3::Test));
    EXPECT_EQ(Get(dio.get(), &IDIO::get_DOValue), 0) << "the output word kept over detection";
    dao->get_ValueReal(0, &volts);
    EXPECT_EQ(volts, 0.0) << "DAC1 after detection";
    EXPECT_EQ(e16sim_call_count("X502_AsyncOutDig"), 0) << "detection wrote the lines";
    EXPECT_EQ(e16sim_call_count("X502_AsyncInDig"), 1) << "detection reads the inputs once";
    dao->put_ValueReal(0, 2.0);
    EXPECT_EQ(ModuleDacLevel(0), 2.0) << "the level before detection counted as unchanged";
}

} // namespace
} // namespace e2e
