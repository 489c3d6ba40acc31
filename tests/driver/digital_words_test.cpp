// The start and stop words set through IDIO, as the digital lines show them
// around a recording: after a start, after a stop, and for starts that are
// refused or fail at the module.
#include "driver_fixture.h"

namespace velmora::test {
namespace {

constexpr int32_t kStartWord = 0x00A5;
constexpr int32_t kStopWord = 0x15A00; // only the low 16 bits reach the lines

uint32_t Lines() {
    uint32_t outputs = 0, pullups = 0;
    e16sim_get_digital(E16SIM_MODULE_DAC, &outputs, &pullups);
    return outputs;
}

int64_t LineWrites() {
    return e16sim_call_count("X502_AsyncOutDig");
}

class DigitalWords : public DriverTest {
protected:
    void EnableWords() {
        VARIANT_BOOL on = VARIANT_TRUE;
        int32_t start = kStartWord, stop = kStopWord;
        ASSERT_EQ(dio_->put_DOStartEnabled(&on), S_OK);
        ASSERT_EQ(dio_->put_DOStartValue(&start), S_OK);
        ASSERT_EQ(dio_->put_DOStopEnabled(&on), S_OK);
        ASSERT_EQ(dio_->put_DOStopValue(&stop), S_OK);
    }

    int32_t OutputWord() {
        int32_t word = -1;
        EXPECT_EQ(dio_->get_DOValue(&word), S_OK);
        return word;
    }
};

TEST_F(DigitalWords, TheStartWordFollowsTheStartAndTheStopWordTheStop) {
    Detect();
    EnableWords();
    Select({0, 1}, 20000.0f);
    EXPECT_EQ(LineWrites(), 0) << "the lets only store";
    ASSERT_TRUE(StartRecord()) << driver::State().lastError;
    EXPECT_EQ(Lines(), uint32_t{kStartWord});
    EXPECT_EQ(OutputWord(), kStartWord);
    EXPECT_EQ(LineWrites(), 1);

    // A new start word waits for the next start.
    int32_t next = 0x0F0F;
    dio_->put_DOStartValue(&next);
    EXPECT_EQ(Lines(), uint32_t{kStartWord});

    ASSERT_EQ(adc_->StopRecord(), S_OK);
    EXPECT_FALSE(AdcBusy());
    EXPECT_EQ(Lines(), uint32_t{kStopWord & 0xFFFF});
    EXPECT_EQ(OutputWord(), kStopWord);
    EXPECT_EQ(LineWrites(), 2);

    ASSERT_TRUE(StartRecord()) << driver::State().lastError;
    EXPECT_EQ(Lines(), 0x0F0Fu);
    adc_->StopRecord();
}

TEST_F(DigitalWords, AStartRefusedBeforeTheModuleChangesNothing) {
    Detect();
    EnableWords();
    int32_t shown = 0x0033;
    dio_->put_DOValue(&shown);
    const int64_t writes = LineWrites();
    const int64_t stops = e16sim_call_count("X502_StreamsStop");
    float noRate = 0.0f;
    adc_->put_Rate(&noRate);
    EXPECT_FALSE(StartRecord());
    BSTR error = nullptr;
    adc_->get_LastError(&error);
    EXPECT_EQ(std::u16string(error, SysStringLen(error)), u"The Sampling Rate is not selected!");
    SysFreeString(error);
    EXPECT_EQ(LineWrites(), writes);
    EXPECT_EQ(Lines(), 0x0033u);
    EXPECT_EQ(OutputWord(), 0x0033);
    EXPECT_EQ(e16sim_call_count("X502_StreamsStop"), stops);
}

TEST_F(DigitalWords, AStartThatFailsAtTheModuleWritesOnlyTheStopWord) {
    Detect();
    EnableWords();
    Select({0}, 1000.0f);
    e16sim_fault_fail_call("X502_StreamsStart", -13);
    EXPECT_FALSE(StartRecord());
    EXPECT_FALSE(AdcBusy());
    EXPECT_EQ(Lines(), uint32_t{kStopWord & 0xFFFF});
    EXPECT_EQ(LineWrites(), 1) << "the start word is never written";
}

} // namespace
} // namespace velmora::test
