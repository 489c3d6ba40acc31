// IDAO and IDIO as a host uses them, through the vtable and Invoke: static
// levels with their limits and skip rules, block writes, and both before
// detection. The digital words around a recording are the driver's tests.
#include "host.h"
#include "sim_probes.h"

namespace e2e {
namespace {

using velmora::test::ModuleDacLevel;

HOST_TEST(AnalogOutput, LevelsAndBlocksStopAtTheLimitsAndUnchangedLevelsAreSkipped) {
    ComPtr<IADC3> adc = DetectedAdc();
    ComPtr<IDAO> dao = Query<IDAO>(adc.get(), IID_IDAO);
    BSTR name = nullptr;
    ASSERT_EQ(dao->get_ChannelName(2, &name), S_OK);
    EXPECT_EQ(Take(name), u"") << "a channel the module lacks has no name";
    int32_t counted = -1, values[] = {40000, -5, 7}, untouched[] = {40000};
    dao->put_Value(0, 32000);
    dao->put_Value(1, -40000);
    EXPECT_EQ(ModuleDacLevel(0), 10.0) << "a code above the top";
    EXPECT_EQ(ModuleDacLevel(1), -10.0) << "a code below the bottom";
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

    // The block goes out through the two-channel write, unchanged levels too.
    ASSERT_EQ(dao->SetValues(0, 3, values, &counted), S_OK);
    EXPECT_EQ(counted, 2) << "values of a block of three for two channels";
    EXPECT_EQ(std::vector<int32_t>(values, values + 3), (std::vector<int32_t>{32000, -5, 7}))
        << "the codes written back as limited";
    EXPECT_EQ(ModuleDacLevel(0), 10.0) << "channel 0 from the block";
    EXPECT_DOUBLE_EQ(ModuleDacLevel(1), -5 / 3200.0) << "channel 1 from the block";
    EXPECT_EQ(e16sim_call_count("X502_AsyncOutDac"), writes + 2) << "a block writes both channels";

    // Through Invoke, a block passed as a reference to the first Long of the
    // caller's array.
    Var blockCounted;
    ASSERT_EQ(Get(dao.get(), u"SetValues", &blockCounted,
                  {Arg(VT_I2, int16_t{1}), R8(1.0), Arg(VT_BYREF | VT_I4, untouched)}),
              S_OK);
    EXPECT_EQ(blockCounted.lVal, 1);
    EXPECT_EQ(untouched[0], 32000) << "the limited code written back through the reference";
}

HOST_TEST(Outputs, BeforeDetectionNothingReachesTheModule) {
    ComPtr<IADC3> adc = CreateAdc();
    ComPtr<IDIO> dio = Query<IDIO>(adc.get(), IID_IDIO);
    ComPtr<IDAO> dao = Query<IDAO>(adc.get(), IID_IDAO);
    int32_t word = 0x0F0F, read = -1, codes[] = {100, 200}, counted = -1;
    dio->put_DOValue(&word);
    dio->get_DOValue(&read);
    EXPECT_EQ(read, 0x0F0F) << "the word is stored";
    dio->get_DIValue(&read);
    EXPECT_EQ(read, 0) << "inputs before detection";
    dao->put_ValueReal(0, 2.0);
    dao->SetValues(0, 2, codes, &counted);
    for (const char* entry : {"X502_AsyncOutDig", "X502_AsyncInDig", "X502_AsyncOutDac"})
        EXPECT_EQ(e16sim_call_count(entry), 0) << entry;

    // Detection reads the inputs, forgets the output word without writing the
    // lines, and puts both outputs at 0 V.
    VARIANT_BOOL found = VARIANT_FALSE;
    double volts = -1;
    ASSERT_EQ(adc->Test(&found), S_OK);
    dio->get_DOValue(&read);
    dao->get_ValueReal(0, &volts);
    EXPECT_EQ(read, 0) << "the output word kept over detection";
    EXPECT_EQ(volts, 0.0) << "DAC1 after detection";
    EXPECT_EQ(e16sim_call_count("X502_AsyncOutDig"), 0) << "detection wrote the lines";
    EXPECT_EQ(e16sim_call_count("X502_AsyncInDig"), 1) << "detection reads the inputs once";
    dao->put_ValueReal(0, 2.0);
    EXPECT_EQ(ModuleDacLevel(0), 2.0) << "the level before detection counted as unchanged";
}

} // namespace
} // namespace e2e
