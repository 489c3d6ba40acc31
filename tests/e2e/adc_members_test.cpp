// IADC3 through its vtable and through IDispatch: the description, the
// dispatch rules, channel ranges, rate, selection, ring sizes and single readings.
#include "fixture.h"

namespace e2e {
namespace {

using AdcMembers = HostTest;

std::u16string ChannelName(IADC3* adc, int16_t index) {
    BSTR name = nullptr;
    EXPECT_EQ(adc->get_ChannelName(&index, &name), S_OK);
    std::u16string text = Str(name);
    SysFreeString(name);
    return text;
}

int16_t Range(IADC3* adc, int16_t index) {
    int16_t range = -1;
    EXPECT_EQ(adc->get_ChannelRange(&index, &range), S_OK);
    return range;
}

float UnitScale(IADC3* adc, int16_t index) {
    float scale = -1;
    EXPECT_EQ(adc->get_ChannelUnitScale(&index, &scale), S_OK);
    return scale;
}

float RateAfter(IADC3* adc, float request) {
    adc->put_Rate(&request);
    float rate = 0;
    EXPECT_EQ(adc->get_Rate(&rate), S_OK);
    return rate;
}

std::vector<int16_t> Selection(IADC3* adc) {
    SAFEARRAY* array = nullptr;
    EXPECT_EQ(adc->get_InputChannels(&array), S_OK);
    LONG lower = -1;
    SafeArrayGetLBound(array, 1, &lower);
    EXPECT_EQ(lower, 0);
    std::vector<int16_t> values = Int16Elements(array);
    SafeArrayDestroy(array);
    return values;
}

void Select(IADC3* adc, SAFEARRAY* array) {
    EXPECT_EQ(adc->put_InputChannels(&array), S_OK);
    SafeArrayDestroy(array);
}

TEST_F(AdcMembers, DescriptionThroughTheVtable) {
    velmora::test::ScopedEnv locale("LC_ALL", "C");
    Ptr<IADC3> adc = CreateAdc();
    ASSERT_TRUE(adc);
    BSTR name = nullptr;
    ASSERT_EQ(adc->get_ADCName(&name), S_OK);
    EXPECT_EQ(Str(name), u"E16");
    SysFreeString(name);
    uint8_t resolution = 0;
    int16_t channels = 0, port = -1;
    float rateMax = 0;
    VARIANT_BOOL detected = VARIANT_TRUE, busy = VARIANT_TRUE;
    adc->get_Resolution(&resolution);
    adc->get_ChannelsCount(&channels);
    adc->get_RateMax(&rateMax);
    adc->get_Detected(&detected);
    adc->get_Busy(&busy);
    adc->get_BasePort(&port);
    EXPECT_EQ(resolution, 16);
    EXPECT_EQ(channels, 32);
    EXPECT_EQ(rateMax, 500000.0f);
    EXPECT_EQ(detected, VARIANT_FALSE) << "reading Detected does not detect";
    EXPECT_EQ(busy, VARIANT_FALSE);
    EXPECT_EQ(port, 0);

    SAFEARRAY* ranges = nullptr;
    ASSERT_EQ(adc->get_Ranges(&ranges), S_OK);
    LONG lower = -1, upper = -1;
    SafeArrayGetLBound(ranges, 1, &lower);
    SafeArrayGetUBound(ranges, 1, &upper);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 3);
    EXPECT_EQ(StringElements(ranges),
              (std::vector<std::u16string>{u"±10 V", u"±2.5 V", u"±0.625 V", u"±0.156 V"}));
    SafeArrayDestroy(ranges);

    EXPECT_EQ(ChannelName(adc.get(), 0), u"XY1");
    EXPECT_EQ(ChannelName(adc.get(), 15), u"XY16");
    EXPECT_EQ(ChannelName(adc.get(), 16), u"Calibration 0");
    EXPECT_EQ(ChannelName(adc.get(), 32), u"");
    EXPECT_EQ(ChannelName(adc.get(), -1), u"");
    int16_t index = 0;
    BSTR unitName = nullptr;
    float offset = -1;
    ASSERT_EQ(adc->get_ChannelUnitName(&index, &unitName), S_OK);
    EXPECT_NE(unitName, nullptr);
    EXPECT_EQ(Str(unitName), u"");
    SysFreeString(unitName);
    adc->get_ChannelUnitOffset(&index, &offset);
    EXPECT_EQ(offset, 0.0f);
    EXPECT_EQ(UnitScale(adc.get(), 0), 3200.0f);
    EXPECT_EQ(Selection(adc.get()), std::vector<int16_t>{0});

    // The setup dialog needs a display, which the tests have not: still false.
    VARIANT_BOOL shown = VARIANT_TRUE;
    ASSERT_EQ(adc->ShowSetting(&shown), S_OK);
    EXPECT_EQ(shown, VARIANT_FALSE);

    SAFEARRAY* kadr = reinterpret_cast<SAFEARRAY*>(1);
    ASSERT_EQ(adc->GetKadr(&kadr), S_OK);
    EXPECT_EQ(kadr, nullptr);
    EXPECT_EQ(adc->get_ADCName(nullptr), E_POINTER);
    EXPECT_EQ(adc->get_ChannelName(nullptr, &name), E_POINTER);
    EXPECT_EQ(adc->GetData(nullptr, nullptr, nullptr, nullptr), E_POINTER);
}

TEST_F(AdcMembers, RangeNamesUseTheUsersDecimalSeparator) {
    velmora::test::ScopedEnv locale("LC_ALL", "de_DE.UTF-8");
    Ptr<IADC3> adc = CreateAdc();
    ASSERT_TRUE(adc);
    SAFEARRAY* ranges = nullptr;
    ASSERT_EQ(adc->get_Ranges(&ranges), S_OK);
    EXPECT_EQ(StringElements(ranges),
              (std::vector<std::u16string>{u"±10 V", u"±2,5 V", u"±0,625 V", u"±0,156 V"}));
    SafeArrayDestroy(ranges);
}

TEST_F(AdcMembers, DescriptionThroughInvokeWithRowNumbersAsDispids) {
    Ptr<IADC3> adc = CreateAdc();
    ASSERT_TRUE(adc);
    const Dispatcher disp(adc.get());
    EXPECT_EQ(disp.Id(u"ADCName"), 1);
    EXPECT_EQ(disp.Id(u"adcname"), 1);
    EXPECT_EQ(disp.Id(u"CHANNELRANGE"), 11);
    EXPECT_EQ(disp.Id(u"Rate"), 16);
    EXPECT_EQ(disp.Id(u"InputSizeData"), 18);
    EXPECT_EQ(disp.Id(u"StopRecord"), 29);
    EXPECT_EQ(disp.Id(u"GetData"), 31);
    EXPECT_EQ(disp.Id(u"Parent"), 34);

    struct Expect {
        const char16_t* name;
        VARTYPE vt;
        int32_t value;
    };
    for (const Expect& e : {Expect{u"Resolution", VT_UI1, 16}, Expect{u"ChannelsCount", VT_I2, 32},
                            Expect{u"Detected", VT_BOOL, 0}, Expect{u"Busy", VT_BOOL, 0},
                            Expect{u"InputCountChannels", VT_I2, 1}}) {
        SCOPED_TRACE(Utf8(e.name));
        Variant v;
        ASSERT_EQ(disp.Get(e.name, &v), S_OK);
        EXPECT_EQ(v->vt, e.vt);
        EXPECT_EQ(e.vt == VT_UI1 ? v->bVal : v->iVal, e.value);
    }
    Variant name, rateMax, ranges, kadr;
    ASSERT_EQ(disp.Get(u"ADCName", &name), S_OK);
    ASSERT_EQ(name->vt, VT_BSTR);
    EXPECT_EQ(Str(name->bstrVal), u"E16");
    ASSERT_EQ(disp.Get(u"RateMax", &rateMax), S_OK);
    EXPECT_EQ(rateMax->vt, VT_R4);
    EXPECT_EQ(rateMax->fltVal, 500000.0f);
    ASSERT_EQ(disp.Get(u"Ranges", &ranges), S_OK);
    ASSERT_EQ(ranges->vt, VT_ARRAY | VT_BSTR);
    EXPECT_EQ(StringElements(ranges->parray).size(), 4u);
    ASSERT_EQ(disp.Call(u"GetKadr", &kadr), S_OK);
    EXPECT_EQ(kadr->vt, VT_ARRAY | VT_I2);
    EXPECT_EQ(kadr->parray, nullptr);

    // Index arguments by value of any convertible type, or by reference.
    Variant xy4, calibration, xy6, byRef;
    ASSERT_EQ(disp.Get(u"ChannelName", &xy4, {I2(3)}), S_OK);
    EXPECT_EQ(Str(xy4->bstrVal), u"XY4");
    ASSERT_EQ(disp.Get(u"ChannelName", &calibration, {I4(20)}), S_OK);
    EXPECT_EQ(Str(calibration->bstrVal), u"Calibration 0");
    VARIANT five = Text(u"5");
    ASSERT_EQ(disp.Get(u"ChannelName", &xy6, {five}), S_OK);
    VariantClear(&five);
    EXPECT_EQ(Str(xy6->bstrVal), u"XY6");
    int16_t index = 15;
    ASSERT_EQ(disp.Get(u"ChannelName", &byRef, {RefI2(&index)}), S_OK);
    EXPECT_EQ(Str(byRef->bstrVal), u"XY16");
}

TEST_F(AdcMembers, DispatchRefusesWhatDoesNotFit) {
    Ptr<IADC3> adc = CreateAdc();
    ASSERT_TRUE(adc);
    const Dispatcher disp(adc.get());
    UINT count = 7;
    EXPECT_EQ(adc->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);

    std::u16string member = u"ChannelName", parameter = u"Index", unknown = u"NoSuchMember";
    LPOLESTR names[] = {member.data(), parameter.data()};
    DISPID ids[2] = {0, 0};
    EXPECT_EQ(adc->GetIDsOfNames(IID_NULL, names, 2, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 10);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);
    names[0] = unknown.data();
    EXPECT_EQ(adc->GetIDsOfNames(IID_NULL, names, 1, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);
    EXPECT_EQ(adc->GetIDsOfNames(IID_IADC3, names, 1, 0, ids), DISP_E_UNKNOWNINTERFACE);

    Variant result;
    EXPECT_EQ(disp.Invoke(12, DISPATCH_PROPERTYGET, {}, &result), DISP_E_MEMBERNOTFOUND) << "no row 12";
    EXPECT_EQ(disp.Invoke(99, DISPATCH_METHOD, {}, &result), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(disp.Put(u"ADCName", {I2(1)}), DISP_E_MEMBERNOTFOUND) << "a get-only property";
    EXPECT_EQ(disp.Invoke(29, DISPATCH_PROPERTYGET, {}, &result), DISP_E_MEMBERNOTFOUND) << "a sub";
    EXPECT_EQ(disp.Get(u"ChannelName", &result), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(disp.Get(u"ChannelName", &result, {I2(1), I2(2)}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(disp.Put(u"ChannelRange", {I2(1)}), DISP_E_BADPARAMCOUNT);

    UINT argErr = 99;
    VARIANT word = Text(u"abc");
    EXPECT_EQ(disp.Invoke(11, DISPATCH_PROPERTYPUT, {word, I2(1)}, nullptr, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u) << "the index is the second argument from the end";
    VariantClear(&word);
    EXPECT_EQ(disp.Invoke(11, DISPATCH_PROPERTYPUT, {I2(1), I4(40000)}, nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u) << "the value does not fit an Integer";

    VARIANT arg = I2(1);
    DISPID named = 0;
    DISPPARAMS params{&arg, &named, 1, 1};
    EXPECT_EQ(adc->Invoke(10, IID_NULL, 0, DISPATCH_PROPERTYGET, &params, &result, nullptr, nullptr),
              DISP_E_NONAMEDARGS);
}

TEST_F(AdcMembers, ChannelRangesStayWithinTheirLimits) {
    Ptr<IADC3> adc = DetectedAdc();
    ASSERT_TRUE(adc);
    int16_t channel = 3, range = 2;
    ASSERT_EQ(adc->put_ChannelRange(&channel, &range), S_OK);
    EXPECT_EQ(Range(adc.get(), 3), 2);
    EXPECT_EQ(UnitScale(adc.get(), 3), 51200.0f);
    for (auto [c, r] : {std::pair<int16_t, int16_t>{3, 4}, {3, -1}, {32, 1}, {-1, 1}}) {
        EXPECT_EQ(adc->put_ChannelRange(&c, &r), S_OK);
    }
    EXPECT_EQ(Range(adc.get(), 3), 2);
    EXPECT_EQ(Range(adc.get(), 32), 0);
    EXPECT_EQ(Range(adc.get(), -1), 0);
    EXPECT_EQ(UnitScale(adc.get(), 32), 0.0f);

    // Through Invoke, with an index by reference of another type: the member
    // works on a converted copy and the caller's Long keeps its value.
    const Dispatcher disp(adc.get());
    int32_t index = 5;
    ASSERT_EQ(disp.Put(u"ChannelRange", {RefI4(&index), R8(3.0)}), S_OK);
    EXPECT_EQ(index, 5);
    EXPECT_EQ(Range(adc.get(), 5), 3);
    EXPECT_EQ(UnitScale(adc.get(), 5), 204800.0f);
    int16_t exact = 5;
    Variant got;
    ASSERT_EQ(disp.Get(u"ChannelRange", &got, {RefI2(&exact)}), S_OK);
    EXPECT_EQ(got->vt, VT_I2);
    EXPECT_EQ(got->iVal, 3);
}

TEST_F(AdcMembers, RateIsClampedThenReadBackAsAchieved) {
    Ptr<IADC3> adc = DetectedAdc();
    ASSERT_TRUE(adc);
    EXPECT_EQ(RateAfter(adc.get(), -500.0f), 500.0f);
    EXPECT_EQ(RateAfter(adc.get(), 600000.0f), 500000.0f);
    // 48 MHz / 7000 is no whole divider: the nearest achievable rate comes back.
    const float achieved = RateAfter(adc.get(), 7000.0f);
    EXPECT_NE(achieved, 7000.0f);
    EXPECT_NEAR(achieved, 48e6 / 6857, 0.01);
    Select(adc.get(), Int16Vector({0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(RateAfter(adc.get(), 100000.0f), 62500.0f) << "8 channels share 500 kS/s";

    const Dispatcher disp(adc.get());
    Variant rate;
    ASSERT_EQ(disp.Put(u"Rate", {R8(3000.0)}), S_OK);
    ASSERT_EQ(disp.Get(u"Rate", &rate), S_OK);
    EXPECT_EQ(rate->vt, VT_R4);
    EXPECT_EQ(rate->fltVal, 3000.0f);
}

TEST_F(AdcMembers, SelectionTakesAnyOneDimensionalIntegerArray) {
    Ptr<IADC3> adc = DetectedAdc();
    ASSERT_TRUE(adc);
    Select(adc.get(), Int16Vector({5, 31, 0}));
    EXPECT_EQ(Selection(adc.get()), (std::vector<int16_t>{5, 31, 0}));
    int16_t count = 0;
    adc->get_InputCountChannels(&count);
    EXPECT_EQ(count, 3);

    Select(adc.get(), Int32Vector({1, 2}, 1));
    EXPECT_EQ(Selection(adc.get()), (std::vector<int16_t>{1, 2})) << "Longs, lower bound 1";

    SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    VARIANT three = I4(3), four = Text(u"4");
    LONG i = 0;
    SafeArrayPutElement(variants, &i, &three);
    i = 1;
    SafeArrayPutElement(variants, &i, &four);
    VariantClear(&four);
    Select(adc.get(), variants);
    EXPECT_EQ(Selection(adc.get()), (std::vector<int16_t>{3, 4})) << "Variants";

    // Arrays no selection can come from leave it as it is.
    Select(adc.get(), Int16Vector({}));
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    Select(adc.get(), SafeArrayCreate(VT_I2, 2, bounds));
    Select(adc.get(), Int16Vector({0, 40}));
    Select(adc.get(), Int32Vector({0, 70000}));
    SAFEARRAY* none = nullptr;
    EXPECT_EQ(adc->put_InputChannels(&none), S_OK);
    EXPECT_EQ(adc->put_InputChannels(nullptr), E_POINTER);
    EXPECT_EQ(Selection(adc.get()), (std::vector<int16_t>{3, 4}));

    // Through Invoke: by value and by reference.
    const Dispatcher disp(adc.get());
    SAFEARRAY* table = Int16Vector({7, 8, 9});
    ASSERT_EQ(disp.Put(u"InputChannels", {ArrayOf(table)}), S_OK);
    EXPECT_EQ(Selection(adc.get()), (std::vector<int16_t>{7, 8, 9}));
    SafeArrayDestroy(table);
    table = Int16Vector({6});
    ASSERT_EQ(disp.Put(u"InputChannels", {RefArray(&table)}), S_OK);
    SafeArrayDestroy(table);
    Variant selection;
    ASSERT_EQ(disp.Get(u"InputChannels", &selection), S_OK);
    ASSERT_EQ(selection->vt, VT_ARRAY | VT_I2);
    EXPECT_EQ(Int16Elements(selection->parray), std::vector<int16_t>{6});
}

TEST_F(AdcMembers, RingSizeFollowsTheRequestAndTheChannelCount) {
    Ptr<IADC3> adc = DetectedAdc();
    ASSERT_TRUE(adc);
    auto sizes = [&](int32_t request) {
        adc->put_InputSizeData(&request);
        int32_t data = 0, kadrs = 0;
        adc->get_InputSizeData(&data);
        adc->get_InputSizeKadrs(&kadrs);
        return std::pair{kadrs, data};
    };
    EXPECT_EQ(sizes(100), (std::pair{32768, 32768})) << "below 1024 the default size is taken";
    EXPECT_EQ(sizes(1024), (std::pair{1024, 1024}));
    Select(adc.get(), Int16Vector({0, 1, 2}));
    EXPECT_EQ(sizes(1048576), (std::pair{524288, 1572864}));
    Select(adc.get(), Int16Vector({0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(sizes(1048576), (std::pair{131072, 1048576}));
    int32_t count = -1;
    adc->get_InputCountData(&count);
    EXPECT_EQ(count, 0);
}

TEST_F(AdcMembers, SingleReadingsConvertTheModulesInputs) {
    Ptr<IADC3> adc = DetectedAdc();
    ASSERT_TRUE(adc);
    // Logical 0 is XY1 = X1 (0.5 V sine) - Y1 (-1.75 V): 1.25..2.25 V.
    int16_t index = 0, code = 0;
    ASSERT_EQ(adc->GetChannel(&index, &code), S_OK);
    EXPECT_GE(code, 1.25 * 3200 - 2);
    EXPECT_LE(code, 2.25 * 3200 + 2);
    // The same on range 1 reads four times the codes.
    int16_t range = 1;
    adc->put_ChannelRange(&index, &range);
    ASSERT_EQ(adc->GetChannel(&index, &code), S_OK);
    EXPECT_GE(code, 1.25 * 12800 - 8);
    EXPECT_LE(code, 2.25 * 12800 + 8);
    index = 32;
    code = 5;
    ASSERT_EQ(adc->GetChannel(&index, &code), S_OK);
    EXPECT_EQ(code, 0);

    const Dispatcher disp(adc.get());
    Variant calibration;
    ASSERT_EQ(disp.Call(u"GetChannel", &calibration, {I2(17)}), S_OK);
    EXPECT_EQ(calibration->vt, VT_I2);
    EXPECT_EQ(calibration->iVal, 0) << "logical 17 measures the zero";
}

} // namespace
} // namespace e2e
