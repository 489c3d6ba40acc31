// Recording as a host runs it. All 32 inputs at the full rate are e16rec's
// and the Python package's tests.
#include <chrono>
#include <thread>

#include "host.h"

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Follows kadrs whose channel `ramp` reads the simulator's frame ramp on Y16
// (-16000 + 32 x (frame mod 1000) codes on ±10 V) from frame 0 on, and whose
// channel `zero` reads the zero measurement: a lost, repeated or torn kadr shows.
struct Ramp {
    int32_t channels, ramp, zero = -1;
    int64_t kadrs = 0, breaks = 0;

    void Add(const int16_t* data, int32_t count) {
        for (int32_t k = 0; k < count; ++k, ++kadrs) {
            const int16_t* kadr = data + static_cast<ptrdiff_t>(k) * channels;
            if (kadr[ramp] != -16000 + 32 * (kadrs % 1000) || (zero >= 0 && kadr[zero] != 0)) ++breaks;
        }
    }
    // GetData into a buffer of `capacity` kadrs; the kadrs taken.
    int32_t Drain(IADC3* adc, int32_t capacity) {
        std::vector<int16_t> buffer(static_cast<size_t>(capacity * channels), -1);
        int32_t count = capacity * channels, rest = -1, taken = -1;
        EXPECT_EQ(adc->GetData(buffer.data(), &count, &rest, &taken), S_OK);
        EXPECT_EQ(count, taken * channels) << "GetData count against its kadrs";
        EXPECT_EQ(rest % channels, 0) << "GetData rest not whole kadrs";
        Add(buffer.data(), taken);
        return taken;
    }
    // InputData: a header column with the selection, then a column per kadr.
    void Take(SAFEARRAY* table, const std::vector<int16_t>& selection) {
        const std::vector<int16_t> values = Int16Elements(table);
        EXPECT_EQ(std::vector<int16_t>(values.begin(), values.begin() + channels), selection)
            << "InputData header column";
        Add(values.data() + channels, static_cast<int32_t>(values.size()) / channels - 1);
    }
};

// A detected driver with logical channel 31 on Y16 against ground.
ComPtr<IADC3> RampAdc(const std::vector<int16_t>& selection, float rate, int32_t ringRequest) {
    std::string table(32, '\0'); // XY k+1 on logical k, but Y16 against ground on 31
    for (int k = 0; k < 31; ++k) table[k] = static_cast<char>(k);
    table[31] = 31 | 32;
    Key settings(reg::HKEY_CURRENT_USER, "Software\\Tervan\\ADC\\L-Card\\E16", true);
    EXPECT_EQ(reg::RegSetValueEx(settings.key, "ADChannels", reg::REG_BINARY,
                                 reinterpret_cast<const uint8_t*>(table.data()), 32),
              reg::ERROR_SUCCESS);
    ComPtr<IADC3> adc = DetectedAdc();
    Select(adc.get(), selection);
    adc->put_Rate(&rate);
    adc->put_InputSizeData(&ringRequest);
    return adc;
}

// A ring of 3000 kadrs: the host first lets it fill to its last kadr, then
// it wraps about seven times while the host takes turns with the five ways
// of draining it.
HOST_TEST(Recording, AFullRingWaitsThenWrapsWhileDrainedFiveWays) {
    const std::vector<int16_t> selection{31, 16};
    ComPtr<IADC3> adc = RampAdc(selection, 10000.0f, 6000);
    const int32_t ringKadrs = Get(adc.get(), &IADC3::get_InputSizeKadrs);
    ASSERT_EQ(ringKadrs, 3000);
    ASSERT_TRUE(Ask(adc.get(), &IADC3::StartRecord));
    int32_t full = 0;
    velmora::test::Eventually(
        [&] { return (full = Get(adc.get(), &IADC3::get_InputCountKadrs)) >= ringKadrs; },
        std::chrono::seconds(5));
    float rate = 1000; // while busy, a rate and a selection are refused
    adc->put_Rate(&rate);
    Select(adc.get(), {0});
    std::this_thread::sleep_for(milliseconds(200));
    const int32_t unread = Get(adc.get(), &IADC3::get_InputCountKadrs);
    EXPECT_EQ(unread, full) << "a full ring is neither overwritten nor grown";
    EXPECT_EQ(unread, ringKadrs) << "the ring did not fill to its last kadr";
    Ramp ramp{2, 0, 1};
    for (auto [round, start] = std::pair{0, Clock::now()}; Clock::now() - start < milliseconds(2000);
         ++round) {
        std::this_thread::sleep_for(milliseconds(20));
        Var table, kadrs;
        const int way = round % 5;
        if (way < 2) { // InputData through the vtable, then through Invoke
            if (way == 0) table.vt = VT_ARRAY | VT_I2;
            ASSERT_EQ(way == 0 ? adc->get_InputData(&table.parray) : Invoke(adc.get(), u"InputData", &table),
                      S_OK);
            ASSERT_EQ(table.vt, VT_ARRAY | VT_I2);
            ramp.Take(table.parray, selection);
            continue;
        }
        // GetData through Invoke, its count written back: the first element of
        // the host's buffer by reference with the count a Long; a whole array
        // with the count a Double; a whole array with the count a script's
        // variable, a Variant holding a Double, which stays one.
        std::vector<int16_t> buffer(6000, -1);
        SAFEARRAY* array = Int16Vector(buffer);
        int32_t count = 6000, rest = -1;
        double countAsDouble = 6000;
        VARIANT variable = Arg(VT_R8, 6000.0);
        const VARIANT counts[] = {Arg(VT_BYREF | VT_I4, &count), Arg(VT_BYREF | VT_R8, &countAsDouble),
                                  Arg(VT_BYREF | VT_VARIANT, &variable)};
        const VARIANT data = way == 2 ? Arg(VT_BYREF | VT_I2, buffer.data()) : Arg(VT_ARRAY | VT_I2, array);
        ASSERT_EQ(
            Invoke(adc.get(), u"GetData", &kadrs, {data, counts[way - 2], Arg(VT_BYREF | VT_I4, &rest)}),
            S_OK);
        const double written[] = {static_cast<double>(count), countAsDouble, variable.dblVal};
        EXPECT_EQ(written[way - 2], 2.0 * kadrs.lVal) << "the count written back, way " << way;
        EXPECT_EQ(variable.vt, VT_R8) << "the script's variable";
        ramp.Add(way == 2 ? buffer.data() : static_cast<const int16_t*>(array->pvData), kadrs.lVal);
        SafeArrayDestroy(array);
    }
    adc->StopRecord();
    while (ramp.Drain(adc.get(), ringKadrs) > 0) {}
    EXPECT_EQ(ramp.breaks, 0) << "kadrs lost, repeated or torn";
    EXPECT_GE(ramp.kadrs, 4 * ringKadrs) << "the ring did not wrap often enough";
    EXPECT_EQ(Get(adc.get(), &IADC3::get_Rate), 10000.0f) << "a rate while busy";
    EXPECT_EQ(Get(adc.get(), &IADC3::get_InputCountChannels), 2) << "a selection while busy";
}

HOST_TEST(Recording, AThousandShortRecordings) {
    ComPtr<IADC3> adc = RampAdc({31, 16}, 100000.0f, 1024);
    int64_t cyclesWithData = 0, breaks = 0;
    for (int cycle = 0; cycle < 1000; ++cycle) {
        ASSERT_TRUE(Ask(adc.get(), &IADC3::StartRecord)) << "cycle " << cycle;
        // Every tenth cycle waits for its first block; the others stop at
        // once, whatever the worker is doing. Each stream begins at frame 0.
        Ramp ramp{2, 0, 1};
        for (auto start = Clock::now();
             ramp.Drain(adc.get(), 512) == 0 && cycle % 10 == 0 && Clock::now() - start < milliseconds(50);) {
            std::this_thread::yield();
        }
        adc->StopRecord();
        ASSERT_FALSE(Ask(adc.get(), &IADC3::get_Busy)) << "cycle " << cycle;
        cyclesWithData += ramp.kadrs > 0 ? 1 : 0;
        breaks += ramp.breaks;
    }
    EXPECT_GT(cyclesWithData, 50) << "recordings that delivered data";
    EXPECT_EQ(breaks, 0) << "kadrs lost, repeated or torn, or a stream not begun at frame 0";
}

} // namespace
} // namespace e2e
