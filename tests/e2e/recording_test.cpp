// Recording as a host runs it: validation, what Busy refuses, data drained
// with GetData and InputData (vtable and Invoke) without a lost or repeated
// kadr, a host that lets the ring fill up, and many short recordings.
#include <chrono>
#include <thread>

#include "fixture.h"
#include "ramp.h"

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Where the ramp (logical 31 = Y16) and the zero (logical 16) sit in a kadr.
struct Layout {
    int channels;
    int ramp;
    int zero = -1;
};

class Recording : public HostTest {
protected:
    // The detected driver with logical channel 31 on the frame ramp.
    Ptr<IADC3> RampAdc(const std::vector<int16_t>& selection, float rate, int32_t ringRequest) {
        EXPECT_TRUE(SetBinary(kSettingsKey, "ADChannels", RampChannelTable()));
        Ptr<IADC3> adc = DetectedAdc();
        if (!adc) return adc;
        SAFEARRAY* table = Int16Vector(selection);
        adc->put_InputChannels(&table);
        SafeArrayDestroy(table);
        adc->put_Rate(&rate);
        float achieved = 0;
        adc->get_Rate(&achieved);
        EXPECT_EQ(achieved, rate);
        adc->put_InputSizeData(&ringRequest);
        return adc;
    }

    void Feed(const int16_t* kadrs, int32_t count, const Layout& layout) {
        for (int32_t k = 0; k < count; ++k) {
            const int16_t* kadr = kadrs + static_cast<ptrdiff_t>(k) * layout.channels;
            ramp_.Add(kadr[layout.ramp]);
            if (layout.zero >= 0) nonZero_ += kadr[layout.zero] != 0 ? 1 : 0;
        }
    }

    // GetData into a buffer of `capacity` kadrs; the kadrs taken.
    int32_t DrainWithGetData(IADC3* adc, const Layout& layout, int32_t capacity) {
        buffer_.assign(static_cast<size_t>(capacity) * layout.channels, -1);
        int32_t count = static_cast<int32_t>(buffer_.size()), rest = -1, kadrs = -1;
        EXPECT_EQ(adc->GetData(buffer_.data(), &count, &rest, &kadrs), S_OK);
        EXPECT_EQ(count, kadrs * layout.channels);
        EXPECT_EQ(rest % layout.channels, 0);
        Feed(buffer_.data(), kadrs, layout);
        return kadrs;
    }

    // InputData: a header column with the selection, then one column per kadr.
    int32_t TakeTable(SAFEARRAY* table, const std::vector<int16_t>& selection, const Layout& layout) {
        LONG lower1 = -1, upper1 = -1, lower2 = -1, upper2 = -1;
        SafeArrayGetLBound(table, 1, &lower1);
        SafeArrayGetUBound(table, 1, &upper1);
        SafeArrayGetLBound(table, 2, &lower2);
        SafeArrayGetUBound(table, 2, &upper2);
        EXPECT_EQ(SafeArrayGetDim(table), 2u);
        EXPECT_EQ(lower1, 0);
        EXPECT_EQ(upper1, layout.channels - 1);
        EXPECT_EQ(lower2, 0);
        const std::vector<int16_t> values = Int16Elements(table);
        EXPECT_EQ(std::vector<int16_t>(values.begin(), values.begin() + layout.channels), selection);
        Feed(values.data() + layout.channels, upper2, layout);
        return upper2;
    }

    void ExpectUnbrokenRamp(int64_t atLeast) {
        EXPECT_EQ(ramp_.first(), 0) << "the first kadr is frame 0 of the stream";
        EXPECT_EQ(ramp_.lost(), 0);
        EXPECT_EQ(ramp_.repeated(), 0);
        EXPECT_EQ(ramp_.bad(), 0);
        EXPECT_EQ(nonZero_, 0);
        EXPECT_GE(ramp_.kadrs(), atLeast);
    }

    RampCheck ramp_;
    int64_t nonZero_ = 0;
    std::vector<int16_t> buffer_;
};

bool StartRecord(IADC3* adc) {
    VARIANT_BOOL started = VARIANT_FALSE;
    EXPECT_EQ(adc->StartRecord(&started), S_OK);
    return started == VARIANT_TRUE;
}

bool Busy(IADC3* adc) {
    VARIANT_BOOL busy = VARIANT_FALSE;
    EXPECT_EQ(adc->get_Busy(&busy), S_OK);
    return busy == VARIANT_TRUE;
}

std::string LastError(IADC3* adc) {
    BSTR text = nullptr;
    adc->get_LastError(&text);
    std::string error = Utf8(text);
    SysFreeString(text);
    return error;
}

TEST_F(Recording, StartValidatesAndBusyRefusesChanges) {
    Ptr<IADC3> adc = DetectedAdc();
    ASSERT_TRUE(adc);
    float rate = 0;
    adc->put_Rate(&rate);
    EXPECT_FALSE(StartRecord(adc.get()));
    EXPECT_EQ(LastError(adc.get()), "The Sampling Rate is not selected!");
    EXPECT_FALSE(Busy(adc.get()));

    // Rate 100000 on 8 channels is cut to 62500 before anything runs.
    rate = 100000;
    adc->put_Rate(&rate);
    SAFEARRAY* eight = Int16Vector({0, 1, 2, 3, 4, 5, 6, 7});
    adc->put_InputChannels(&eight);
    SafeArrayDestroy(eight);
    const Dispatcher disp(adc.get());
    Variant started;
    ASSERT_EQ(disp.Call(u"StartRecord", &started), S_OK);
    EXPECT_EQ(started->vt, VT_BOOL);
    ASSERT_EQ(started->boolVal, VARIANT_TRUE);
    EXPECT_TRUE(Busy(adc.get()));
    EXPECT_EQ(LastError(adc.get()), "") << "a start clears the error";

    // While recording: rate, selection, setup and a second start are refused.
    rate = 1000;
    adc->put_Rate(&rate);
    SAFEARRAY* one = Int16Vector({0});
    adc->put_InputChannels(&one);
    SafeArrayDestroy(one);
    VARIANT_BOOL shown = VARIANT_TRUE;
    ASSERT_EQ(adc->ShowSetting(&shown), S_OK);
    EXPECT_EQ(shown, VARIANT_FALSE);
    EXPECT_FALSE(StartRecord(adc.get()));
    int16_t channels = 0;
    adc->get_InputCountChannels(&channels);
    EXPECT_EQ(channels, 8);

    std::this_thread::sleep_for(milliseconds(100));
    ASSERT_EQ(disp.Call(u"StopRecord", nullptr), S_OK);
    EXPECT_FALSE(Busy(adc.get()));
    int32_t unread = 0;
    adc->get_InputCountData(&unread);
    EXPECT_GT(unread, 0) << "data stay readable after the stop";
    EXPECT_EQ(unread % 8, 0);
    float achieved = 0;
    adc->get_Rate(&achieved);
    EXPECT_EQ(achieved, 62500.0f);
}

// The longest test: all 32 channels at 500 kS/s in total for ten seconds,
// drained every 100 ms.
TEST_F(Recording, ThirtyTwoChannelsAtFullRateForTenSeconds) {
    std::vector<int16_t> all(32);
    for (int16_t k = 0; k < 32; ++k) all[k] = k;
    Ptr<IADC3> adc = RampAdc(all, 15625.0f, 1048576);
    ASSERT_TRUE(adc);
    int32_t ringKadrs = 0;
    adc->get_InputSizeKadrs(&ringKadrs);
    ASSERT_EQ(ringKadrs, 32768);
    const Layout layout{32, 31, 16};
    const auto start = Clock::now();
    ASSERT_TRUE(StartRecord(adc.get())) << LastError(adc.get());
    while (Clock::now() - start < std::chrono::seconds(10)) {
        std::this_thread::sleep_for(milliseconds(100));
        DrainWithGetData(adc.get(), layout, ringKadrs);
        int32_t unread = -1;
        adc->get_InputCountData(&unread);
        EXPECT_EQ(unread % 32, 0);
    }
    adc->StopRecord();
    while (DrainWithGetData(adc.get(), layout, ringKadrs) > 0) {}
    ExpectUnbrokenRamp(156250 / 2);
}

TEST_F(Recording, InputDataAcrossRingWrapsThroughVtableAndInvoke) {
    const std::vector<int16_t> selection{31, 16};
    Ptr<IADC3> adc = RampAdc(selection, 10000.0f, 6000);
    ASSERT_TRUE(adc);
    int32_t ringKadrs = 0;
    adc->get_InputSizeKadrs(&ringKadrs);
    ASSERT_EQ(ringKadrs, 3000) << "no whole number of 512-kadr blocks";
    const Layout layout{2, 0, 1};
    const Dispatcher disp(adc.get());
    ASSERT_TRUE(StartRecord(adc.get())) << LastError(adc.get());
    SAFEARRAY* first = nullptr;
    ASSERT_EQ(adc->get_InputData(&first), S_OK);
    EXPECT_EQ(TakeTable(first, selection, layout), 0) << "right after the start: the header alone";
    SafeArrayDestroy(first);
    const auto start = Clock::now();
    for (int round = 0; Clock::now() - start < milliseconds(2000); ++round) {
        std::this_thread::sleep_for(milliseconds(20));
        if (round % 2 == 0) {
            SAFEARRAY* table = nullptr;
            ASSERT_EQ(adc->get_InputData(&table), S_OK);
            TakeTable(table, selection, layout);
            SafeArrayDestroy(table);
        } else {
            Variant table;
            ASSERT_EQ(disp.Get(u"InputData", &table), S_OK);
            ASSERT_EQ(table->vt, VT_ARRAY | VT_I2);
            TakeTable(table->parray, selection, layout);
        }
    }
    adc->StopRecord();
    SAFEARRAY* rest = nullptr;
    ASSERT_EQ(adc->get_InputData(&rest), S_OK);
    TakeTable(rest, selection, layout);
    SafeArrayDestroy(rest);
    ExpectUnbrokenRamp(3 * ringKadrs);
}

TEST_F(Recording, GetDataThroughInvokeTakesABufferReferenceOrAnArray) {
    Ptr<IADC3> adc = RampAdc({31}, 10000.0f, 1048576);
    ASSERT_TRUE(adc);
    const Layout layout{1, 0};
    const Dispatcher disp(adc.get());
    ASSERT_TRUE(StartRecord(adc.get())) << LastError(adc.get());

    // The first element of the host's array by reference, the count as a Long.
    std::this_thread::sleep_for(milliseconds(150));
    std::vector<int16_t> buffer(20000, -1);
    int32_t count = static_cast<int32_t>(buffer.size()), rest = -1;
    Variant kadrs;
    ASSERT_EQ(disp.Call(u"GetData", &kadrs, {RefI2(buffer.data()), RefI4(&count), RefI4(&rest)}), S_OK);
    ASSERT_EQ(kadrs->vt, VT_I4);
    EXPECT_GT(kadrs->lVal, 0);
    EXPECT_EQ(count, kadrs->lVal);
    Feed(buffer.data(), count, layout);

    // A whole Integer array, the count as a Double that is written back.
    std::this_thread::sleep_for(milliseconds(150));
    SAFEARRAY* array = Int16Vector(std::vector<int16_t>(20000, -1));
    double countAsDouble = 20000;
    Variant more;
    ASSERT_EQ(disp.Call(u"GetData", &more, {ArrayOf(array), RefR8(&countAsDouble), RefI4(&rest)}), S_OK);
    EXPECT_GT(more->lVal, 0);
    EXPECT_EQ(countAsDouble, more->lVal);
    Feed(static_cast<const int16_t*>(array->pvData), more->lVal, layout);
    SafeArrayDestroy(array);

    UINT argErr = 9;
    VARIANT word = Text(u"buffer");
    Variant refused;
    EXPECT_EQ(disp.Invoke(disp.Id(u"GetData"), DISPATCH_METHOD, {word, RefI4(&count), RefI4(&rest)}, &refused,
                          &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 2u);
    VariantClear(&word);
    adc->StopRecord();
    ExpectUnbrokenRamp(1);
}

// The host stops reading: the worker fills the ring exactly, waits, and goes
// on from where it stopped once the host reads again.
TEST_F(Recording, HostPausesUntilTheRingIsFullThenResumes) {
    Ptr<IADC3> adc = RampAdc({31}, 5000.0f, 2048);
    ASSERT_TRUE(adc);
    int32_t ringKadrs = 0;
    adc->get_InputSizeKadrs(&ringKadrs);
    ASSERT_EQ(ringKadrs, 2048) << "eight blocks of 256 kadrs";
    const Layout layout{1, 0};
    ASSERT_TRUE(StartRecord(adc.get())) << LastError(adc.get());
    int32_t unread = 0;
    for (auto start = Clock::now(); unread < ringKadrs && Clock::now() - start < std::chrono::seconds(5);) {
        std::this_thread::sleep_for(milliseconds(10));
        adc->get_InputCountKadrs(&unread);
    }
    ASSERT_EQ(unread, ringKadrs);
    std::this_thread::sleep_for(milliseconds(200));
    adc->get_InputCountKadrs(&unread);
    EXPECT_EQ(unread, ringKadrs) << "a full ring is neither overwritten nor grown";

    EXPECT_EQ(DrainWithGetData(adc.get(), layout, ringKadrs), ringKadrs);
    for (auto start = Clock::now(); Clock::now() - start < milliseconds(600);) {
        std::this_thread::sleep_for(milliseconds(20));
        DrainWithGetData(adc.get(), layout, ringKadrs);
    }
    adc->StopRecord();
    DrainWithGetData(adc.get(), layout, ringKadrs);
    ExpectUnbrokenRamp(ringKadrs + 1000);
}

TEST_F(Recording, AThousandShortRecordings) {
    Ptr<IADC3> adc = RampAdc({31, 16}, 100000.0f, 1024);
    ASSERT_TRUE(adc);
    const Layout layout{2, 0, 1};
    int64_t cyclesWithData = 0;
    for (int cycle = 0; cycle < 1000; ++cycle) {
        ASSERT_TRUE(StartRecord(adc.get())) << "cycle " << cycle << ": " << LastError(adc.get());
        // Every tenth cycle waits for its first block (the worker polls every
        // 25 ms); the others stop at once, whatever the worker is doing.
        int32_t taken = DrainWithGetData(adc.get(), layout, 512);
        for (auto start = Clock::now();
             cycle % 10 == 0 && taken == 0 && Clock::now() - start < milliseconds(50);) {
            taken = DrainWithGetData(adc.get(), layout, 512);
            if (taken == 0) std::this_thread::yield();
        }
        cyclesWithData += taken > 0 ? 1 : 0;
        adc->StopRecord();
        ASSERT_FALSE(Busy(adc.get())) << "cycle " << cycle;
    }
    EXPECT_GT(cyclesWithData, 50);
    EXPECT_EQ(ramp_.bad(), 0);
    EXPECT_EQ(nonZero_, 0);
}

} // namespace
} // namespace e2e
