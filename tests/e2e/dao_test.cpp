// IDAO as a host uses it, through the vtable and IDispatch: the description,
// static levels in codes and volts with their limits and skip rules, block
// writes, a module without a DAC and the outputs before detection.
#include "fixture.h"

namespace e2e {
namespace {

constexpr double kCodesPerVolt = 3200.0;

class AnalogOutput : public HostTest {
protected:
    void TearDown() override {
        adc_.Reset();
        HostTest::TearDown();
    }

    // The IDAO face of a driver that has detected the address list's module.
    Ptr<IDAO> DetectedDao() {
        adc_ = DetectedAdc();
        return Dao();
    }
    Ptr<IDAO> Dao() {
        Ptr<IDAO> dao;
        if (!adc_) return dao;
        EXPECT_EQ(adc_->QueryInterface(IID_IDAO, dao.outVoid()), S_OK);
        return dao;
    }

    Ptr<IADC3> adc_;
};

// The level the module's DAC channel was last set to, volts.
double ModuleLevel(uint32_t channel, uint32_t* flags = nullptr) {
    double now = 0, level = 0;
    uint32_t written = 0;
    EXPECT_EQ(e16sim_get_dac(E16SIM_MODULE_DAC, channel, &now, &level, &written), 0);
    if (flags != nullptr) *flags = written;
    return level;
}

int64_t DacWrites() {
    return e16sim_call_count("X502_AsyncOutDac");
}

std::u16string Name(IDAO* dao, int16_t index) {
    BSTR name = nullptr;
    EXPECT_EQ(dao->get_ChannelName(index, &name), S_OK);
    std::u16string text = Str(name);
    SysFreeString(name);
    return text;
}

int32_t Code(IDAO* dao, int16_t index) {
    int32_t code = -1;
    EXPECT_EQ(dao->get_Value(index, &code), S_OK);
    return code;
}

double Volts(IDAO* dao, int16_t index) {
    double volts = -1;
    EXPECT_EQ(dao->get_ValueReal(index, &volts), S_OK);
    return volts;
}

TEST_F(AnalogOutput, DescribesTwoOutputsOfOneTenVoltRange) {
    Ptr<IDAO> dao = DetectedDao();
    ASSERT_TRUE(dao);
    BSTR text = nullptr;
    ASSERT_EQ(dao->get_Name(&text), S_OK);
    EXPECT_EQ(Str(text), u"E16");
    SysFreeString(text);
    ASSERT_EQ(dao->get_LastError(&text), S_OK);
    EXPECT_EQ(Str(text), u"");
    SysFreeString(text);
    uint8_t resolution = 0;
    int16_t channels = 0, ranges = 0, range = -1;
    VARIANT_BOOL detected = VARIANT_FALSE, busy = VARIANT_TRUE;
    dao->get_Resolution(&resolution);
    dao->get_ChannelsCount(&channels);
    dao->get_RangesCount(&ranges);
    dao->get_Detected(&detected);
    dao->get_Busy(&busy);
    EXPECT_EQ(resolution, 16);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(ranges, 1);
    EXPECT_EQ(detected, VARIANT_TRUE);
    EXPECT_EQ(busy, VARIANT_FALSE);
    EXPECT_EQ(Name(dao.get(), 0), u"DAC1");
    EXPECT_EQ(Name(dao.get(), 1), u"DAC2");
    EXPECT_EQ(Name(dao.get(), 2), u"");
    EXPECT_EQ(Name(dao.get(), -1), u"");

    // Limits and scaling are the same whatever the index.
    int32_t codeMax = 0, codeMin = 0;
    double voltMax = 0, voltMin = 0, scale = 0, offset = -1;
    dao->get_ChannelMax(7, &codeMax);
    dao->get_ChannelMin(-3, &codeMin);
    dao->get_ChannelMaxReal(2, &voltMax);
    dao->get_ChannelMinReal(0, &voltMin);
    dao->get_ChannelUnitScale(5, &scale);
    dao->get_ChannelUnitOffset(1, &offset);
    EXPECT_EQ(codeMax, 32000);
    EXPECT_EQ(codeMin, -32000);
    EXPECT_EQ(voltMax, 10.0);
    EXPECT_EQ(voltMin, -10.0);
    EXPECT_EQ(scale, kCodesPerVolt);
    EXPECT_EQ(offset, 0.0);
    ASSERT_EQ(dao->get_ChannelUnitName(0, &text), S_OK);
    EXPECT_EQ(Str(text), u"");
    SysFreeString(text);

    SAFEARRAY* names = nullptr;
    ASSERT_EQ(dao->get_Ranges(&names), S_OK);
    EXPECT_EQ(StringElements(names), std::vector<std::u16string>{u"\u00B110 V"});
    SafeArrayDestroy(names);
    EXPECT_EQ(dao->put_ChannelRange(0, 3), S_OK);
    dao->get_ChannelRange(0, &range);
    EXPECT_EQ(range, 0) << "the one range stays chosen";
    EXPECT_EQ(dao->get_ChannelsCount(nullptr), E_POINTER);
    EXPECT_EQ(dao->get_ChannelName(0, nullptr), E_POINTER);
}

TEST_F(AnalogOutput, TheDescriptionThroughInvoke) {
    Ptr<IDAO> dao = DetectedDao();
    ASSERT_TRUE(dao);
    const Dispatcher disp(dao.get());
    Variant detected, resolution, name, minReal, ranges;
    ASSERT_EQ(disp.Get(u"Detected", &detected), S_OK);
    EXPECT_EQ(detected->vt, VT_BOOL);
    EXPECT_EQ(detected->boolVal, VARIANT_TRUE);
    ASSERT_EQ(disp.Get(u"resolution", &resolution), S_OK);
    EXPECT_EQ(resolution->vt, VT_UI1);
    EXPECT_EQ(resolution->bVal, 16);
    ASSERT_EQ(disp.Get(u"ChannelName", &name, {I2(1)}), S_OK);
    ASSERT_EQ(name->vt, VT_BSTR);
    EXPECT_EQ(Str(name->bstrVal), u"DAC2");
    ASSERT_EQ(disp.Get(u"ChannelMinReal", &minReal, {I4(9)}), S_OK) << "an index converts to Integer";
    ASSERT_EQ(minReal->vt, VT_R8);
    EXPECT_EQ(minReal->dblVal, -10.0);
    ASSERT_EQ(disp.Get(u"Ranges", &ranges), S_OK);
    ASSERT_EQ(ranges->vt, VT_ARRAY | VT_BSTR);
    EXPECT_EQ(StringElements(ranges->parray), std::vector<std::u16string>{u"\u00B110 V"});
    Variant none;
    EXPECT_EQ(disp.Get(u"ChannelName", &none), DISP_E_BADPARAMCOUNT);
}

TEST_F(AnalogOutput, CodesPastTheLimitsWriteExactlyTheLimitVolts) {
    Ptr<IDAO> dao = DetectedDao();
    ASSERT_TRUE(dao);
    EXPECT_EQ(ModuleLevel(0), 0.0) << "detection sets both outputs to 0 V";
    dao->put_Value(0, 32000);
    dao->put_Value(1, -40000);
    uint32_t flags = 0;
    EXPECT_EQ(ModuleLevel(0, &flags), 10.0);
    EXPECT_EQ(flags, 3u) << "volts, calibrated by the library";
    EXPECT_EQ(ModuleLevel(1), -10.0);
    EXPECT_EQ(Volts(dao.get(), 0), 10.0);
    EXPECT_EQ(Code(dao.get(), 1), -32000);

    dao->put_Value(0, 1600);
    EXPECT_EQ(ModuleLevel(0), 0.5);
    EXPECT_EQ(Code(dao.get(), 0), 1600);
    dao->put_ValueReal(1, 1.0);
    EXPECT_EQ(Code(dao.get(), 1), 3200);
    dao->put_ValueReal(1, 25.0);
    EXPECT_EQ(ModuleLevel(1), 10.0);
    dao->put_ValueReal(1, -10.5);
    EXPECT_EQ(Volts(dao.get(), 1), -10.0);
    EXPECT_EQ(ModuleLevel(1), -10.0);
}

TEST_F(AnalogOutput, AnUnchangedLevelMakesNoModuleCall) {
    Ptr<IDAO> dao = DetectedDao();
    ASSERT_TRUE(dao);
    dao->put_ValueReal(0, 1.0);
    const int64_t writes = DacWrites();
    dao->put_ValueReal(0, 1.0);
    dao->put_Value(0, 3200);    // the same level in codes
    dao->put_ValueReal(1, 0.0); // detection left it at 0 V
    EXPECT_EQ(DacWrites(), writes);
    dao->put_ValueReal(0, 1.5);
    EXPECT_EQ(DacWrites(), writes + 1);
    EXPECT_EQ(ModuleLevel(0), 1.5);
}

TEST_F(AnalogOutput, IndexesOutOfRangeReadZeroAndWriteNothing) {
    Ptr<IDAO> dao = DetectedDao();
    ASSERT_TRUE(dao);
    dao->put_ValueReal(0, 2.0);
    const int64_t writes = DacWrites();
    dao->put_Value(2, 1000);
    dao->put_ValueReal(-1, 3.0);
    EXPECT_EQ(DacWrites(), writes);
    EXPECT_EQ(Code(dao.get(), 2), 0);
    EXPECT_EQ(Volts(dao.get(), -1), 0.0);
    EXPECT_EQ(Volts(dao.get(), 0), 2.0);
}

TEST_F(AnalogOutput, ABlockOfCodesIsClampedAndWrittenWithTheTwoChannelWrite) {
    Ptr<IDAO> dao = DetectedDao();
    ASSERT_TRUE(dao);
    const int64_t writes = DacWrites();
    int32_t values[] = {40000, -5, 7};
    int32_t counted = -1;
    ASSERT_EQ(dao->SetValues(0, 3, values, &counted), S_OK);
    EXPECT_EQ(counted, 2);
    EXPECT_EQ(values[0], 32000);
    EXPECT_EQ(values[1], -5);
    EXPECT_EQ(values[2], 7) << "a value for no channel is left as it is";
    EXPECT_EQ(ModuleLevel(0), 10.0);
    EXPECT_DOUBLE_EQ(ModuleLevel(1), -5 / kCodesPerVolt);
    EXPECT_EQ(DacWrites(), writes + 2);
    EXPECT_EQ(Code(dao.get(), 1), -5);

    // The two-channel write does not skip levels the channels already have.
    ASSERT_EQ(dao->SetValues(0, 2, values, &counted), S_OK);
    EXPECT_EQ(DacWrites(), writes + 4);
    // One channel alone goes through the single write, which does.
    ASSERT_EQ(dao->SetValues(1, 2, values + 1, &counted), S_OK);
    EXPECT_EQ(counted, 1);
    EXPECT_EQ(DacWrites(), writes + 4);
}

TEST_F(AnalogOutput, ABlockOfNothingTouchesNothing) {
    Ptr<IDAO> dao = DetectedDao();
    ASSERT_TRUE(dao);
    const int64_t writes = DacWrites();
    int32_t codes[] = {40000, -40000};
    double volts[] = {20.0, -20.0};
    int32_t counted = -1;
    ASSERT_EQ(dao->SetValues(0, 0, codes, &counted), S_OK);
    EXPECT_EQ(counted, 0);
    ASSERT_EQ(dao->SetValuesReal(0, -1, volts, &counted), S_OK);
    EXPECT_EQ(counted, 0);
    EXPECT_EQ(codes[0], 40000);
    EXPECT_EQ(volts[1], -20.0);
    EXPECT_EQ(DacWrites(), writes);
    ASSERT_EQ(dao->SetValues(2, 2, codes, &counted), S_OK) << "no channel named";
    EXPECT_EQ(counted, 0);
    EXPECT_EQ(codes[0], 40000);
    EXPECT_EQ(DacWrites(), writes);
    EXPECT_EQ(dao->SetValues(0, 1, nullptr, &counted), E_POINTER);
    EXPECT_EQ(dao->SetValuesReal(0, 1, volts, nullptr), E_POINTER);
}

TEST_F(AnalogOutput, ABlockOfVoltsForTheSecondChannelAlone) {
    Ptr<IDAO> dao = DetectedDao();
    ASSERT_TRUE(dao);
    dao->put_ValueReal(0, 4.0);
    const int64_t writes = DacWrites();
    double volts[] = {-12.5, 3.0};
    int32_t counted = -1;
    ASSERT_EQ(dao->SetValuesReal(1, 2, volts, &counted), S_OK);
    EXPECT_EQ(counted, 1);
    EXPECT_EQ(volts[0], -10.0);
    EXPECT_EQ(volts[1], 3.0);
    EXPECT_EQ(DacWrites(), writes + 1);
    EXPECT_EQ(ModuleLevel(1), -10.0);
    EXPECT_EQ(ModuleLevel(0), 4.0);
    EXPECT_EQ(Volts(dao.get(), 0), 4.0);
}

TEST_F(AnalogOutput, LevelsAndBlocksThroughInvoke) {
    Ptr<IDAO> dao = DetectedDao();
    ASSERT_TRUE(dao);
    const Dispatcher disp(dao.get());
    ASSERT_EQ(disp.Put(u"Value", {I2(0), I4(40000)}), S_OK);
    EXPECT_EQ(ModuleLevel(0), 10.0);
    ASSERT_EQ(disp.Put(u"ValueReal", {I2(1), R8(1.0)}), S_OK);
    Variant code, volts;
    ASSERT_EQ(disp.Get(u"Value", &code, {I2(1)}), S_OK);
    ASSERT_EQ(code->vt, VT_I4);
    EXPECT_EQ(code->lVal, 3200);
    ASSERT_EQ(disp.Get(u"ValueReal", &volts, {I2(0)}), S_OK);
    ASSERT_EQ(volts->vt, VT_R8);
    EXPECT_EQ(volts->dblVal, 10.0);

    // A Long array by reference: the caller's array is clamped where it lies.
    SAFEARRAY* array = Int32Vector({40000, -5, 7});
    Variant counted;
    ASSERT_EQ(disp.Call(u"SetValues", &counted, {I2(0), I2(3), RefArray(&array)}), S_OK);
    ASSERT_EQ(counted->vt, VT_I4);
    EXPECT_EQ(counted->lVal, 2);
    const auto* codes = static_cast<const int32_t*>(array->pvData);
    EXPECT_EQ(codes[0], 32000);
    EXPECT_EQ(codes[1], -5);
    EXPECT_EQ(codes[2], 7);
    SafeArrayDestroy(array);
    EXPECT_DOUBLE_EQ(ModuleLevel(1), -5 / kCodesPerVolt);

    // A reference to the first Double.
    double levels[] = {-30.0, 2.5};
    Variant countedReal;
    ASSERT_EQ(disp.Call(u"SetValuesReal", &countedReal, {I2(0), I2(2), RefR8(levels)}), S_OK);
    EXPECT_EQ(countedReal->lVal, 2);
    EXPECT_EQ(levels[0], -10.0);
    EXPECT_EQ(ModuleLevel(0), -10.0);
    EXPECT_EQ(ModuleLevel(1), 2.5);
}

TEST_F(AnalogOutput, AModuleWithoutADacHasNoOutputs) {
    WriteAddressList("127.0.0.2\r\n");
    Ptr<IDAO> dao = DetectedDao();
    ASSERT_TRUE(dao);
    VARIANT_BOOL detected = VARIANT_TRUE, busy = VARIANT_TRUE;
    int16_t channels = -1;
    dao->get_Detected(&detected);
    dao->get_ChannelsCount(&channels);
    dao->get_Busy(&busy);
    EXPECT_EQ(detected, VARIANT_FALSE);
    EXPECT_EQ(channels, 0);
    EXPECT_EQ(busy, VARIANT_FALSE);
    EXPECT_EQ(Name(dao.get(), 0), u"");

    const int64_t writes = DacWrites();
    dao->put_Value(0, 1000);
    dao->put_ValueReal(1, 1.0);
    int32_t codes[] = {40000, 1};
    int32_t counted = -1;
    ASSERT_EQ(dao->SetValues(0, 2, codes, &counted), S_OK);
    EXPECT_EQ(counted, 0);
    EXPECT_EQ(codes[0], 40000) << "nothing named a channel, so nothing was clamped";
    EXPECT_EQ(DacWrites(), writes);
    EXPECT_EQ(Code(dao.get(), 0), 0);
}

TEST_F(AnalogOutput, BeforeDetectionLevelsAreOnlyStored) {
    adc_ = CreateAdc();
    Ptr<IDAO> dao = Dao();
    ASSERT_TRUE(dao);
    e16sim_reset_call_counts();
    dao->put_ValueReal(0, 2.0);
    int32_t codes[] = {100, 200};
    int32_t counted = -1;
    dao->SetValues(0, 2, codes, &counted);
    EXPECT_EQ(DacWrites(), 0) << "there is no module to write to";
    EXPECT_EQ(ModuleLevel(0), 0.0);

    // Detection puts both outputs at 0 V, whatever was stored.
    VARIANT_BOOL found = VARIANT_FALSE;
    ASSERT_EQ(adc_->Test(&found), S_OK);
    ASSERT_EQ(found, VARIANT_TRUE);
    EXPECT_EQ(Volts(dao.get(), 0), 0.0);
    EXPECT_EQ(Volts(dao.get(), 1), 0.0);
    dao->put_ValueReal(0, 2.0);
    EXPECT_EQ(ModuleLevel(0), 2.0);
}

} // namespace
} // namespace e2e
