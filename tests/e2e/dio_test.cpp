// IDIO as a host uses it, through the vtable and IDispatch: the lines read
// and written through the module's loopback, the stored start and stop
// settings, the stop word of StopRecord and the words before detection.
#include "fixture.h"

namespace e2e {
namespace {

class DigitalIo : public HostTest {
protected:
    // The start and stop settings last as long as the process: every test
    // leaves them off.
    void TearDown() override {
        if (Ptr<IDIO> dio = Dio(CreateAdc().get())) {
            VARIANT_BOOL off = VARIANT_FALSE;
            int32_t zero = 0;
            dio->put_DOStartEnabled(&off);
            dio->put_DOStopEnabled(&off);
            dio->put_DOStartValue(&zero);
            dio->put_DOStopValue(&zero);
        }
        HostTest::TearDown();
    }

    static Ptr<IDIO> Dio(IADC3* adc) {
        Ptr<IDIO> dio;
        if (adc == nullptr) return dio;
        EXPECT_EQ(adc->QueryInterface(IID_IDIO, dio.outVoid()), S_OK);
        return dio;
    }
};

// The digital output lines of the module with the DAC.
uint32_t Lines() {
    uint32_t outputs = 0, pullups = 0;
    EXPECT_EQ(e16sim_get_digital(E16SIM_MODULE_DAC, &outputs, &pullups), 0);
    return outputs;
}

int64_t Reads() {
    return e16sim_call_count("X502_AsyncInDig");
}

int64_t Writes() {
    return e16sim_call_count("X502_AsyncOutDig");
}

int32_t InputWord(IDIO* dio) {
    int32_t word = -1;
    EXPECT_EQ(dio->get_DIValue(&word), S_OK);
    return word;
}

int32_t OutputWord(IDIO* dio) {
    int32_t word = -1;
    EXPECT_EQ(dio->get_DOValue(&word), S_OK);
    return word;
}

void WriteWord(IDIO* dio, int32_t word) {
    EXPECT_EQ(dio->put_DOValue(&word), S_OK);
}

TEST_F(DigitalIo, DescribesSixteenLinesEachWay) {
    Ptr<IADC3> adc = DetectedAdc();
    Ptr<IDIO> dio = Dio(adc.get());
    ASSERT_TRUE(dio);
    BSTR name = nullptr;
    ASSERT_EQ(dio->get_DIOName(&name), S_OK);
    EXPECT_EQ(Str(name), u"E16");
    SysFreeString(name);
    VARIANT_BOOL detected = VARIANT_FALSE;
    uint8_t inputs = 0, outputs = 0;
    dio->get_Detected(&detected);
    dio->get_DIBits(&inputs);
    dio->get_DOBits(&outputs);
    EXPECT_EQ(detected, VARIANT_TRUE);
    EXPECT_EQ(inputs, 16);
    EXPECT_EQ(outputs, 16);
    EXPECT_EQ(dio->get_DIValue(nullptr), E_POINTER);
    EXPECT_EQ(dio->put_DOValue(nullptr), E_POINTER);

    const Dispatcher disp(dio.get());
    Variant viaInvoke, bits;
    ASSERT_EQ(disp.Get(u"detected", &viaInvoke), S_OK);
    EXPECT_EQ(viaInvoke->vt, VT_BOOL);
    EXPECT_EQ(viaInvoke->boolVal, VARIANT_TRUE);
    ASSERT_EQ(disp.Get(u"DOBits", &bits), S_OK);
    EXPECT_EQ(bits->vt, VT_UI1);
    EXPECT_EQ(bits->bVal, 16);
}

TEST_F(DigitalIo, AWideWordSetsAllLinesAndReadsBackWhole) {
    Ptr<IADC3> adc = DetectedAdc();
    Ptr<IDIO> dio = Dio(adc.get());
    ASSERT_TRUE(dio);
    EXPECT_EQ(OutputWord(dio.get()), 0) << "right after detection";
    WriteWord(dio.get(), 0x1FFFF);
    EXPECT_EQ(OutputWord(dio.get()), 0x1FFFF) << "the word is kept whole";
    EXPECT_EQ(Lines(), 0xFFFFu) << "its low 16 bits reach the lines";

    // Every DIValue get reads the module; the inputs show the outputs.
    const int64_t reads = Reads();
    EXPECT_EQ(InputWord(dio.get()), 0xFFFF);
    EXPECT_EQ(InputWord(dio.get()), 0xFFFF);
    EXPECT_EQ(Reads(), reads + 2);
    // DOValue get does not read anything.
    OutputWord(dio.get());
    EXPECT_EQ(Reads(), reads + 2);

    WriteWord(dio.get(), -2);
    EXPECT_EQ(OutputWord(dio.get()), -2);
    EXPECT_EQ(Lines(), 0xFFFEu);
    EXPECT_EQ(InputWord(dio.get()), 0xFFFE) << "inputs read as an unsigned 16-bit word";
}

TEST_F(DigitalIo, LinesThroughInvoke) {
    Ptr<IADC3> adc = DetectedAdc();
    Ptr<IDIO> dio = Dio(adc.get());
    ASSERT_TRUE(dio);
    const Dispatcher disp(dio.get());
    ASSERT_EQ(disp.Put(u"DOValue", {I4(0x0A0C)}), S_OK);
    EXPECT_EQ(Lines(), 0x0A0Cu);
    int32_t word = 0x8001;
    ASSERT_EQ(disp.Put(u"DOValue", {RefI4(&word)}), S_OK);
    EXPECT_EQ(Lines(), 0x8001u);
    Variant output, input;
    ASSERT_EQ(disp.Get(u"DOValue", &output), S_OK);
    EXPECT_EQ(output->vt, VT_I4);
    EXPECT_EQ(output->lVal, 0x8001);
    const int64_t reads = Reads();
    ASSERT_EQ(disp.Get(u"DIValue", &input), S_OK);
    EXPECT_EQ(input->lVal, 0x8001);
    EXPECT_EQ(Reads(), reads + 1);
}

TEST_F(DigitalIo, StartAndStopSettingsOnlyStore) {
    Ptr<IADC3> adc = DetectedAdc();
    Ptr<IDIO> dio = Dio(adc.get());
    ASSERT_TRUE(dio);
    const int64_t writes = Writes();
    VARIANT_BOOL on = VARIANT_TRUE;
    int32_t start = 0x00A5, stop = 0x5A00;
    dio->put_DOStartEnabled(&on);
    dio->put_DOStartValue(&start);
    dio->put_DOStopValue(&stop);
    EXPECT_EQ(Writes(), writes);
    EXPECT_EQ(Lines(), 0u);

    VARIANT_BOOL startOn = VARIANT_FALSE, stopOn = VARIANT_TRUE;
    int32_t startWord = 0, stopWord = 0;
    dio->get_DOStartEnabled(&startOn);
    dio->get_DOStopEnabled(&stopOn);
    dio->get_DOStartValue(&startWord);
    dio->get_DOStopValue(&stopWord);
    EXPECT_EQ(startOn, VARIANT_TRUE);
    EXPECT_EQ(stopOn, VARIANT_FALSE);
    EXPECT_EQ(startWord, 0x00A5);
    EXPECT_EQ(stopWord, 0x5A00);

    // Through Invoke: a Boolean let takes any nonzero as true.
    const Dispatcher disp(dio.get());
    ASSERT_EQ(disp.Put(u"DOStopEnabled", {I2(1)}), S_OK);
    ASSERT_EQ(disp.Put(u"DOStartValue", {I4(0x1234)}), S_OK);
    Variant stopEnabled, startValue;
    ASSERT_EQ(disp.Get(u"DOStopEnabled", &stopEnabled), S_OK);
    EXPECT_EQ(stopEnabled->vt, VT_BOOL);
    EXPECT_EQ(stopEnabled->boolVal, VARIANT_TRUE);
    ASSERT_EQ(disp.Get(u"DOStartValue", &startValue), S_OK);
    EXPECT_EQ(startValue->lVal, 0x1234);
    EXPECT_EQ(Writes(), writes);
}

TEST_F(DigitalIo, StopRecordWritesTheStopWordEvenWhenNothingRuns) {
    Ptr<IADC3> adc = DetectedAdc();
    Ptr<IDIO> dio = Dio(adc.get());
    ASSERT_TRUE(dio);
    int64_t writes = Writes();
    ASSERT_EQ(adc->StopRecord(), S_OK);
    EXPECT_EQ(Writes(), writes) << "the stop word is off";

    VARIANT_BOOL on = VARIANT_TRUE;
    int32_t stop = 0x15A5A;
    dio->put_DOStopEnabled(&on);
    dio->put_DOStopValue(&stop);
    ASSERT_EQ(adc->StopRecord(), S_OK);
    EXPECT_EQ(Lines(), 0x5A5Au);
    EXPECT_EQ(OutputWord(dio.get()), 0x15A5A) << "the stop word is the word written last";
    writes = Writes();
    ASSERT_EQ(adc->StopRecord(), S_OK);
    EXPECT_EQ(Writes(), writes + 1) << "every StopRecord writes it";
}

TEST_F(DigitalIo, BeforeDetectionTheStoredWordsStandInForTheModule) {
    {
        Ptr<IADC3> adc = DetectedAdc();
        Ptr<IDIO> dio = Dio(adc.get());
        ASSERT_TRUE(dio);
        WriteWord(dio.get(), 0x00FF);
        EXPECT_EQ(InputWord(dio.get()), 0x00FF);
    } // the last object closes the module; the lines keep their state

    Ptr<IADC3> adc = CreateAdc();
    Ptr<IDIO> dio = Dio(adc.get());
    ASSERT_TRUE(dio);
    const int64_t reads = Reads(), writes = Writes();
    EXPECT_EQ(InputWord(dio.get()), 0x00FF) << "the word read last";
    WriteWord(dio.get(), 0x0F0F);
    EXPECT_EQ(OutputWord(dio.get()), 0x0F0F);
    EXPECT_EQ(Reads(), reads);
    EXPECT_EQ(Writes(), writes);
    EXPECT_EQ(Lines(), 0x00FFu);

    // Detection reads the inputs and forgets the output word, without
    // writing the lines.
    VARIANT_BOOL found = VARIANT_FALSE;
    ASSERT_EQ(adc->Test(&found), S_OK);
    ASSERT_EQ(found, VARIANT_TRUE);
    EXPECT_EQ(OutputWord(dio.get()), 0) << "whatever the lines show";
    EXPECT_EQ(Lines(), 0x00FFu);
    EXPECT_EQ(Writes(), writes);
    EXPECT_EQ(InputWord(dio.get()), 0x00FF);
}

} // namespace
} // namespace e2e
