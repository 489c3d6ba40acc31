// The driver object in-process: its IADC3, IDIO and IDAO faces together with
// the engine state behind them, against the simulator reached through the
// driver's own vendor table: the generator heard on X15/X16, the start and
// stop words around a recording, and the dispatch rules of the tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "driver_objects.h"

namespace velmora::test {
namespace {

using core::Waveform;

constexpr int16_t kX15 = 14, kX16 = 15;                     // logical channels of the two DAC outputs
constexpr int32_t kStartWord = 0x00A5, kStopWord = 0x15A00; // the lines take the low 16 bits

uint32_t Lines() {
    uint32_t outputs = 0, pullups = 0;
    e16sim_get_digital(E16SIM_MODULE_DAC, &outputs, &pullups);
    return outputs;
}

// A driver object that has detected 127.0.0.1, seen through its three faces.
class Driver : public DriverObjects {
protected:
    void SetUp() override {
        DriverObjects::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(Test()) << LastError();
    }

    void Select(const std::vector<int16_t>& channels, float rate) {
        SAFEARRAY* table = SafeArrayCreateVector(VT_I2, 0, static_cast<ULONG>(channels.size()));
        std::copy(channels.begin(), channels.end(), static_cast<int16_t*>(table->pvData));
        EXPECT_EQ(adc_->put_InputChannels(&table), S_OK);
        SafeArrayDestroy(table);
        EXPECT_EQ(adc_->put_Rate(&rate), S_OK);
    }

    // StartRecord, Busy of either face, DOValue get.
    bool StartRecord() {
        return Flag([&](VARIANT_BOOL* v) { return adc_->StartRecord(v); });
    }
    bool AdcBusy() {
        return Flag([&](VARIANT_BOOL* v) { return adc_->get_Busy(v); });
    }
    bool DaoBusy() {
        return Flag([&](VARIANT_BOOL* v) { return dao_->get_Busy(v); });
    }
    int32_t OutputWord() {
        int32_t word = -1;
        EXPECT_EQ(dio_->get_DOValue(&word), S_OK);
        return word;
    }

    // Arms the generator as the DAC page's Start does, outputs on X15/X16.
    void Arm(Waveform waveform0, int32_t amplitude0, Waveform waveform1, int32_t amplitude1) {
        driver::DriverState& s = driver::State();
        s.output.generator.waves[0].waveform = waveform0;
        s.output.generator.waves[0].amplitude = amplitude0;
        s.output.generator.waves[1].waveform = waveform1;
        s.output.generator.waves[1].amplitude = amplitude1;
        s.output.generator.signalFreq = 100.0;
        s.output.ApplySettings(s.Device());
        s.input.channelTable[kX15] = {kX15, 1};
        s.input.channelTable[kX16] = {kX16, 1};
        Select({kX15, kX16}, 10000.0f);
    }

    // Two-channel kadrs read with GetData until `kadrs` have come.
    std::vector<int16_t> Collect(int32_t kadrs) {
        std::vector<int16_t> samples, buffer(8192);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (samples.size() < 2u * kadrs && std::chrono::steady_clock::now() < deadline) {
            int32_t count = static_cast<int32_t>(buffer.size()), rest = 0, taken = 0;
            EXPECT_EQ(adc_->GetData(buffer.data(), &count, &rest, &taken), S_OK);
            samples.insert(samples.end(), buffer.begin(), buffer.begin() + count);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return samples;
    }

    void EnableWords() {
        VARIANT_BOOL on = VARIANT_TRUE;
        int32_t start = kStartWord, stop = kStopWord;
        dio_->put_DOStartEnabled(&on);
        dio_->put_DOStartValue(&start);
        dio_->put_DOStopEnabled(&on);
        dio_->put_DOStopValue(&stop);
    }
};

// After the last object, a new one starts as in a fresh process: nothing of
// the last recording, the module or its serial number is left.
TEST_F(Driver, ALaterLifetimeStartsFresh) {
    Select({0, 1}, 20000.0f);
    int32_t start = kStartWord;
    dio_->put_DOStartValue(&start);
    ASSERT_TRUE(StartRecord()) << driver::State().lastError;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Release();
    e16sim_state module{};
    e16sim_get_state(E16SIM_MODULE_DAC, &module);
    EXPECT_EQ(module.open, 0) << "the last object closes the module";

    Create();
    EXPECT_FALSE(Test(0x7F000003)) << "nobody answers there";
    EXPECT_NE(driver::State().lastError, "") << "a refused address says why";
    int32_t kadrs = -1, samples = -1;
    adc_->get_InputCountKadrs(&kadrs);
    adc_->get_InputCountData(&samples);
    EXPECT_EQ(kadrs, 0) << "no kadrs of the last recording";
    EXPECT_EQ(samples, 0);
    std::vector<int16_t> buffer(64, -1);
    int32_t count = 64, rest = -1, taken = -1;
    ASSERT_EQ(adc_->GetData(buffer.data(), &count, &rest, &taken), S_OK);
    EXPECT_EQ(taken, 0) << "GetData hands out nothing";
    EXPECT_EQ(rest, 0);
    EXPECT_EQ(driver::State().module.serialNumber, "") << "settings must not land under the old module";
    EXPECT_FALSE(driver::State().module.detected);
    int32_t kept = 0;
    dio_->get_DOStartValue(&kept);
    EXPECT_EQ(kept, kStartWord) << "the start word lasts as long as the process";
}

TEST_F(Driver, SineAndTriangleArriveInStepOnX15AndX16) {
    Arm(Waveform::Sine, 3200, Waveform::Triangle, 6400); // 1 V sine, 2 V triangle, 100 Hz
    ASSERT_TRUE(StartRecord()) << driver::State().lastError;
    EXPECT_TRUE(DaoBusy());
    const std::vector<int16_t> samples = Collect(5000);
    ASSERT_EQ(adc_->StopRecord(), S_OK);
    ASSERT_GE(samples.size(), 10000u);

    // 100 Hz at 10000 kadrs/s: the sine rises through zero every 100 kadrs.
    std::vector<size_t> rising, falling;
    for (size_t k = 2; k < samples.size(); k += 2) {
        if (samples[k - 2] < 0 && samples[k] >= 0) rising.push_back(k / 2);
        if (samples[k - 2] >= 0 && samples[k] < 0) falling.push_back(k / 2);
    }
    ASSERT_GE(rising.size(), 40u);
    EXPECT_NEAR(double(rising.back() - rising.front()) / double(rising.size() - 1), 100.0, 0.5);
    auto extremes = [&](size_t column) {
        std::vector<int16_t> values;
        for (size_t k = column; k < samples.size(); k += 2) values.push_back(samples[k]);
        const auto [low, high] = std::minmax_element(values.begin(), values.end());
        return std::pair{*low, *high};
    };
    const auto sine = extremes(0), triangle = extremes(1);
    EXPECT_NEAR(sine.first, -3200, 40);
    EXPECT_NEAR(sine.second, 3200, 40);
    EXPECT_NEAR(triangle.first, -6400, 300);
    EXPECT_NEAR(triangle.second, 6400, 300);
    // Both start their period together: the triangle is at its minimum where
    // the sine rises through zero and at its maximum where it falls. It moves
    // 256 codes a kadr, so two kadrs of slack.
    for (size_t k : rising) EXPECT_LT(samples[2 * k + 1], -6400 + 600) << "kadr " << k;
    for (size_t k : falling) EXPECT_GT(samples[2 * k + 1], 6400 - 600) << "kadr " << k;
}

TEST_F(Driver, AFailedCyclicLoadEndsTheStartAndDisarms) {
    Arm(Waveform::Sine, 3200, Waveform::Off, 0);
    e16sim_fault_fail_call("X502_OutCycleLoadStart", -13);
    EXPECT_FALSE(StartRecord());
    EXPECT_FALSE(AdcBusy());
    EXPECT_FALSE(DaoBusy());
    EXPECT_FALSE(driver::State().output.streamEnabled) << "the user arms it again";
    EXPECT_TRUE(driver::State().lastError.starts_with("Error ")) << driver::State().lastError;
    EXPECT_EQ(e16sim_call_count("X502_StreamsStart"), 0);
}

TEST_F(Driver, APlayingChannelIgnoresSingleWritesTheOtherTakesThem) {
    Arm(Waveform::Sine, 3200, Waveform::Off, 0); // channel 1 "Off"
    ASSERT_TRUE(StartRecord()) << driver::State().lastError;
    EXPECT_TRUE(DaoBusy());
    const int64_t writes = e16sim_call_count("X502_AsyncOutDac");
    EXPECT_EQ(dao_->put_ValueReal(0, 3.0), S_OK);
    EXPECT_EQ(dao_->put_Value(0, 100), S_OK);
    EXPECT_EQ(e16sim_call_count("X502_AsyncOutDac"), writes) << "the waveform owns channel 0";
    EXPECT_EQ(dao_->put_ValueReal(1, 2.0), S_OK);
    EXPECT_EQ(e16sim_call_count("X502_AsyncOutDac"), writes + 1);
    double now = 0, level = 0;
    uint32_t flags = 0;
    e16sim_get_dac(E16SIM_MODULE_DAC, 1, &now, &level, &flags);
    EXPECT_EQ(level, 2.0);

    // After the recording the outputs are idle and take single writes again.
    adc_->StopRecord();
    EXPECT_FALSE(DaoBusy());
    dao_->put_ValueReal(0, -0.25);
    EXPECT_EQ(e16sim_call_count("X502_AsyncOutDac"), writes + 2);
}

TEST_F(Driver, TheStartWordFollowsTheStartAndTheStopWordTheStop) {
    EnableWords();
    Select({0, 1}, 20000.0f);
    EXPECT_EQ(e16sim_call_count("X502_AsyncOutDig"), 0) << "the lets only store";
    ASSERT_TRUE(StartRecord()) << driver::State().lastError;
    EXPECT_EQ(Lines(), uint32_t{kStartWord});
    EXPECT_EQ(OutputWord(), kStartWord);
    int32_t next = 0x0F0F;
    dio_->put_DOStartValue(&next);
    EXPECT_EQ(Lines(), uint32_t{kStartWord}) << "a new start word waits for the next start";
    ASSERT_EQ(adc_->StopRecord(), S_OK);
    EXPECT_FALSE(AdcBusy());
    EXPECT_EQ(Lines(), uint32_t{kStopWord & 0xFFFF});
    EXPECT_EQ(OutputWord(), kStopWord);
    EXPECT_EQ(e16sim_call_count("X502_AsyncOutDig"), 2);
    ASSERT_TRUE(StartRecord()) << driver::State().lastError;
    EXPECT_EQ(Lines(), 0x0F0Fu);
    adc_->StopRecord();
}

TEST_F(Driver, AStartRefusedChangesNothingAndOneFailingAtTheModuleWritesOnlyTheStopWord) {
    EnableWords();
    int32_t shown = 0x0033;
    dio_->put_DOValue(&shown);
    const int64_t stops = e16sim_call_count("X502_StreamsStop");
    float noRate = 0.0f;
    adc_->put_Rate(&noRate);
    EXPECT_FALSE(StartRecord());
    EXPECT_EQ(driver::State().lastError, "The Sampling Rate is not selected!");
    EXPECT_EQ(Lines(), 0x0033u);
    EXPECT_EQ(OutputWord(), 0x0033);
    EXPECT_EQ(e16sim_call_count("X502_AsyncOutDig"), 1);
    EXPECT_EQ(e16sim_call_count("X502_StreamsStop"), stops) << "the stop path did not run";

    Select({0}, 1000.0f);
    e16sim_fault_fail_call("X502_StreamsStart", -13);
    EXPECT_FALSE(StartRecord());
    EXPECT_FALSE(AdcBusy());
    EXPECT_EQ(Lines(), uint32_t{kStopWord & 0xFFFF});
    EXPECT_EQ(e16sim_call_count("X502_AsyncOutDig"), 2) << "the start word is never written";
}

// The setup dialog is handed the one shared state its pages edit; it is not
// shown at all while recording.
TEST_F(Driver, ShowSettingHandsTheSharedStateToTheSetupDialog) {
    auto* dialogs = new ui::ScriptedDialogs;
    ui::SetDialogs(std::unique_ptr<ui::ScriptedDialogs>(dialogs));
    VARIANT_BOOL shown = VARIANT_TRUE;
    ASSERT_EQ(adc_->ShowSetting(&shown), S_OK);
    EXPECT_EQ(shown, VARIANT_FALSE);
    ASSERT_EQ(dialogs->setupStates.size(), 1u);
    EXPECT_EQ(dialogs->setupStates[0], &driver::State()) << "another state than the driver's";
    Select({0}, 1000.0f);
    ASSERT_TRUE(StartRecord());
    adc_->ShowSetting(&shown);
    adc_->StopRecord();
    EXPECT_EQ(dialogs->setupStates.size(), 1u) << "shown while recording";
}

// Invoke with the arguments in natural order; a let names its value.
HRESULT Invoke(IDispatch* target, DISPID id, WORD flags, std::vector<VARIANT> args, UINT* argErr = nullptr) {
    std::reverse(args.begin(), args.end());
    DISPID named = DISPID_PROPERTYPUT;
    const bool put = flags == DISPATCH_PROPERTYPUT;
    DISPPARAMS params{args.data(), put ? &named : nullptr, static_cast<UINT>(args.size()), put ? 1u : 0u};
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = target->Invoke(id, IID_NULL, 0, flags, &params, &result, nullptr, argErr);
    VariantClear(&result);
    return hr;
}

// A number argument; an Integer reads the low half of the Long.
VARIANT Number(VARTYPE vt, int32_t value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    v.lVal = value;
    return v;
}

TEST_F(Driver, DispatchFindsMembersByRowAndRefusesWhatDoesNotFit) {
    std::u16string names[] = {u"CHANNELRANGE", u"Parent", u"NoSuchMember"};
    for (auto [name, row] : {std::pair{0, 11}, {1, 34}, {2, DISPID_UNKNOWN}}) {
        LPOLESTR text[] = {names[name].data()};
        DISPID id = 0;
        adc_->GetIDsOfNames(IID_NULL, text, 1, 0, &id);
        EXPECT_EQ(id, row);
    }
    UINT argErr = 99;
    EXPECT_EQ(Invoke(adc_.get(), 12, DISPATCH_PROPERTYGET, {}), DISP_E_MEMBERNOTFOUND)
        << "a let has no id of its own";
    EXPECT_EQ(Invoke(adc_.get(), 1, DISPATCH_PROPERTYPUT, {Number(VT_I2, 1)}), DISP_E_MEMBERNOTFOUND)
        << "ADCName has no let";
    EXPECT_EQ(Invoke(adc_.get(), 10, DISPATCH_PROPERTYGET, {}), DISP_E_BADPARAMCOUNT)
        << "ChannelName needs an index";
    EXPECT_EQ(Invoke(adc_.get(), 11, DISPATCH_PROPERTYPUT, {Number(VT_I2, 1), Number(VT_I4, 40000)}, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u) << "the value does not fit an Integer";
    EXPECT_EQ(Invoke(dio_.get(), 8, DISPATCH_PROPERTYPUT, {Number(VT_I2, 5)}), S_OK) << "DOStartEnabled";
    EXPECT_TRUE(driver::State().dio.doStartEnabled) << "a Boolean let takes any nonzero";
}

// A script host hands over its arrays through Invoke; a count beyond an array
// is held to its end, never read or written past it.
TEST_F(Driver, InvokeHoldsABufferCountToItsArray) {
    Select({0, 1}, 20000.0f);
    ASSERT_TRUE(StartRecord()) << driver::State().lastError;
    int32_t unread = 0;
    for (int i = 0; i < 500 && unread < 100; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        adc_->get_InputCountKadrs(&unread);
    }
    ASSERT_GE(unread, 100);
    SAFEARRAY* codes = SafeArrayCreateVector(VT_I2, 0, 11); // room for five kadrs and a sample
    VARIANT buffer;
    VariantInit(&buffer);
    buffer.vt = VT_ARRAY | VT_I2;
    buffer.parray = codes;
    int32_t count = 6000, rest = 0;
    VARIANT countRef = Number(VT_BYREF | VT_I4, 0), restRef = Number(VT_BYREF | VT_I4, 0);
    countRef.plVal = &count;
    restRef.plVal = &rest;
    EXPECT_EQ(Invoke(adc_.get(), 31, DISPATCH_METHOD, {buffer, countRef, restRef}), S_OK) << "GetData";
    EXPECT_EQ(count, 10) << "whole kadrs within the array's eleven elements";
    adc_->StopRecord();
    SafeArrayDestroy(codes);

    SAFEARRAY* levels = SafeArrayCreateVector(VT_I4, 0, 1);
    static_cast<int32_t*>(levels->pvData)[0] = 6400;
    VARIANT values;
    VariantInit(&values);
    values.vt = VT_ARRAY | VT_I4;
    values.parray = levels;
    const int64_t pairs = e16sim_call_count("X502_AsyncOutDac");
    EXPECT_EQ(Invoke(dao_.get(), 23, DISPATCH_METHOD, {Number(VT_I2, 0), Number(VT_I2, 2), values}), S_OK)
        << "SetValues";
    double now = 0, level = 0;
    uint32_t flags = 0;
    e16sim_get_dac(E16SIM_MODULE_DAC, 0, &now, &level, &flags);
    EXPECT_EQ(level, 2.0) << "the one value given";
    EXPECT_EQ(e16sim_call_count("X502_AsyncOutDac"), pairs + 1) << "one channel written, not two";
    SafeArrayDestroy(levels);
}

// Bounds at the ends of the Long range: an empty array at the lowest index
// (whose upper bound wraps round to the highest) and an array reaching past
// the highest index select nothing, and the selection stays.
TEST_F(Driver, ChannelArraysAtTheEndsOfTheIndexRangeLeaveTheSelection) {
    Select({0, 1}, 10000.0f);
    for (SAFEARRAYBOUND bound : {SAFEARRAYBOUND{0, INT32_MIN}, SAFEARRAYBOUND{3, INT32_MAX - 1}}) {
        SAFEARRAY* table = SafeArrayCreate(VT_I2, 1, &bound);
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(adc_->put_InputChannels(&table), S_OK);
        SafeArrayDestroy(table);
        int16_t count = 0;
        adc_->get_InputCountChannels(&count);
        EXPECT_EQ(count, 2) << bound.cElements << " elements from " << bound.lLbound;
    }
}

// An empty array has no first element to lend: Invoke refuses it and leaves
// it unlocked, so that the host can still destroy it.
TEST_F(Driver, InvokeRefusesAnEmptyBufferAndLeavesItUnlocked) {
    SAFEARRAY* empty = SafeArrayCreateVector(VT_I2, 0, 0);
    VARIANT buffer;
    VariantInit(&buffer);
    buffer.vt = VT_ARRAY | VT_I2;
    buffer.parray = empty;
    int32_t count = 4, rest = 0;
    VARIANT countRef = Number(VT_BYREF | VT_I4, 0), restRef = Number(VT_BYREF | VT_I4, 0);
    countRef.plVal = &count;
    restRef.plVal = &rest;
    EXPECT_EQ(Invoke(adc_.get(), 31, DISPATCH_METHOD, {buffer, countRef, restRef}), DISP_E_TYPEMISMATCH)
        << "GetData";
    EXPECT_EQ(empty->cLocks, 0u) << "the refused array is still locked";
    EXPECT_EQ(SafeArrayDestroy(empty), S_OK);
}

} // namespace
} // namespace velmora::test
