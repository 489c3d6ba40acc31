// The table-driven IDispatch with stand-in IDIO and IDAO implementations that
// record what the vtable members receive.
#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "driver/dispatch.h"

namespace {

using velmora::driver::dispatch::DispatchImpl;

template <typename I> class Fake : public DispatchImpl<I> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

// Records the static-level members; the others answer with fixed values.
class FakeDao final : public Fake<IDAO> {
public:
    std::vector<std::string> calls;
    bool throwOnName = false;

    HRESULT STDMETHODCALLTYPE get_Name(BSTR* r) override {
        if (throwOnName) throw std::bad_alloc();
        *r = SysAllocString(u"E16");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Resolution(uint8_t* r) override { return *r = 16, S_OK; }
    HRESULT STDMETHODCALLTYPE get_Detected(VARIANT_BOOL* r) override { return *r = VARIANT_TRUE, S_OK; }
    HRESULT STDMETHODCALLTYPE get_Busy(VARIANT_BOOL* r) override { return *r = VARIANT_FALSE, S_OK; }
    HRESULT STDMETHODCALLTYPE get_LastError(BSTR* r) override { return *r = nullptr, S_OK; }
    HRESULT STDMETHODCALLTYPE get_ChannelsCount(int16_t* r) override { return *r = 2, S_OK; }
    HRESULT STDMETHODCALLTYPE get_ChannelName(int16_t index, BSTR* r) override {
        calls.push_back("ChannelName " + std::to_string(index));
        *r = SysAllocString(index == 0 ? u"DAC1" : u"");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_ChannelMax(int16_t, int32_t* r) override { return *r = 32000, S_OK; }
    HRESULT STDMETHODCALLTYPE get_ChannelMin(int16_t, int32_t* r) override { return *r = -32000, S_OK; }
    HRESULT STDMETHODCALLTYPE get_ChannelMaxReal(int16_t, double* r) override { return *r = 10.0, S_OK; }
    HRESULT STDMETHODCALLTYPE get_ChannelMinReal(int16_t, double* r) override { return *r = -10.0, S_OK; }
    HRESULT STDMETHODCALLTYPE get_RangesCount(int16_t* r) override { return *r = 1, S_OK; }
    HRESULT STDMETHODCALLTYPE get_Ranges(SAFEARRAY** r) override { return *r = nullptr, S_OK; }
    HRESULT STDMETHODCALLTYPE get_ChannelRange(int16_t, int16_t* r) override { return *r = 0, S_OK; }
    HRESULT STDMETHODCALLTYPE put_ChannelRange(int16_t index, int16_t range) override {
        calls.push_back("ChannelRange " + std::to_string(index) + " " + std::to_string(range));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_ChannelUnitScale(int16_t, double* r) override { return *r = 3200.0, S_OK; }
    HRESULT STDMETHODCALLTYPE get_ChannelUnitOffset(int16_t, double* r) override { return *r = 0.0, S_OK; }
    HRESULT STDMETHODCALLTYPE get_ChannelUnitName(int16_t, BSTR* r) override { return *r = nullptr, S_OK; }
    HRESULT STDMETHODCALLTYPE get_Value(int16_t, int32_t* r) override { return *r = 3200, S_OK; }
    HRESULT STDMETHODCALLTYPE put_Value(int16_t index, int32_t code) override {
        calls.push_back("Value " + std::to_string(index) + " " + std::to_string(code));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_ValueReal(int16_t, double* r) override { return *r = 1.0, S_OK; }
    HRESULT STDMETHODCALLTYPE put_ValueReal(int16_t index, double volts) override {
        calls.push_back("ValueReal " + std::to_string(index) + " " + std::to_string(volts));
        return S_OK;
    }
    // Clamps the caller's values in place, as the driver does.
    HRESULT STDMETHODCALLTYPE SetValues(int16_t first, int16_t count, int32_t* values, int32_t* r) override {
        calls.push_back("SetValues " + std::to_string(first) + " " + std::to_string(count));
        for (int16_t i = 0; i < count; ++i) values[i] = std::min(values[i], 32000);
        return *r = count, S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetValuesReal(int16_t first, int16_t count, double* values,
                                            int32_t* r) override {
        calls.push_back("SetValuesReal " + std::to_string(first) + " " + std::to_string(count));
        for (int16_t i = 0; i < count; ++i) values[i] = std::min(values[i], 10.0);
        return *r = count, S_OK;
    }
};

// Keeps what the lets receive; DOValue let doubles the caller's word.
class FakeDio final : public Fake<IDIO> {
public:
    VARIANT_BOOL startEnabled = 0;
    int32_t doValue = 0;

    HRESULT STDMETHODCALLTYPE get_DIOName(BSTR* r) override { return *r = nullptr, S_OK; }
    HRESULT STDMETHODCALLTYPE get_Detected(VARIANT_BOOL* r) override { return *r = VARIANT_TRUE, S_OK; }
    HRESULT STDMETHODCALLTYPE get_DIBits(uint8_t* r) override { return *r = 16, S_OK; }
    HRESULT STDMETHODCALLTYPE get_DOBits(uint8_t* r) override { return *r = 16, S_OK; }
    HRESULT STDMETHODCALLTYPE get_DIValue(int32_t* r) override { return *r = 0, S_OK; }
    HRESULT STDMETHODCALLTYPE get_DOValue(int32_t* r) override { return *r = doValue, S_OK; }
    HRESULT STDMETHODCALLTYPE put_DOValue(int32_t* value) override {
        doValue = *value;
        *value *= 2;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_DOStartEnabled(VARIANT_BOOL* r) override { return *r = startEnabled, S_OK; }
    HRESULT STDMETHODCALLTYPE put_DOStartEnabled(VARIANT_BOOL* turn) override {
        return startEnabled = *turn, S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_DOStartValue(int32_t* r) override { return *r = 0, S_OK; }
    HRESULT STDMETHODCALLTYPE put_DOStartValue(int32_t*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE get_DOStopEnabled(VARIANT_BOOL* r) override { return *r = 0, S_OK; }
    HRESULT STDMETHODCALLTYPE put_DOStopEnabled(VARIANT_BOOL*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE get_DOStopValue(int32_t* r) override { return *r = 0, S_OK; }
    HRESULT STDMETHODCALLTYPE put_DOStopValue(int32_t*) override { return S_OK; }
};

VARIANT Of(VARTYPE vt) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    return v;
}

DISPID IdOf(IDispatch* target, std::u16string name) {
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    target->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
    return id;
}

// Arguments in natural order; a let names its value DISPID_PROPERTYPUT.
HRESULT Call(IDispatch* target, const std::u16string& name, WORD flags, std::vector<VARIANT> args,
             VARIANT* result = nullptr, UINT* argErr = nullptr) {
    std::reverse(args.begin(), args.end());
    DISPID named = DISPID_PROPERTYPUT;
    const bool put = flags == DISPATCH_PROPERTYPUT;
    DISPPARAMS params{args.data(), put ? &named : nullptr, static_cast<UINT>(args.size()), put ? 1u : 0u};
    return target->Invoke(IdOf(target, name), IID_NULL, 0, flags, &params, result, nullptr, argErr);
}

VARIANT I2(int16_t v) {
    VARIANT x = Of(VT_I2);
    x.iVal = v;
    return x;
}
VARIANT I4(int32_t v) {
    VARIANT x = Of(VT_I4);
    x.lVal = v;
    return x;
}
VARIANT R8(double v) {
    VARIANT x = Of(VT_R8);
    x.dblVal = v;
    return x;
}

TEST(Dispatch, RowNumbersOfTheDigitalAndAnalogOutputTables) {
    FakeDio dio;
    FakeDao dao;
    EXPECT_EQ(IdOf(&dio, u"DIOName"), 1);
    EXPECT_EQ(IdOf(&dio, u"dovalue"), 6);
    EXPECT_EQ(IdOf(&dio, u"DOStartEnabled"), 8);
    EXPECT_EQ(IdOf(&dio, u"DOStopValue"), 14);
    EXPECT_EQ(IdOf(&dao, u"Name"), 1);
    EXPECT_EQ(IdOf(&dao, u"ChannelRange"), 14);
    EXPECT_EQ(IdOf(&dao, u"ChannelUnitScale"), 16);
    EXPECT_EQ(IdOf(&dao, u"Value"), 19);
    EXPECT_EQ(IdOf(&dao, u"ValueReal"), 21);
    EXPECT_EQ(IdOf(&dao, u"SetValuesReal"), 24);
}

TEST(Dispatch, ByValueArgumentsAreConvertedToTheParameterType) {
    FakeDao dao;
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(Call(&dao, u"ChannelName", DISPATCH_PROPERTYGET, {R8(0.4)}, &result), S_OK);
    ASSERT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(result.bstrVal), u"DAC1");
    VariantClear(&result);
    ASSERT_EQ(Call(&dao, u"Value", DISPATCH_PROPERTYPUT, {I4(1), R8(123.5)}), S_OK);
    ASSERT_EQ(Call(&dao, u"ValueReal", DISPATCH_PROPERTYPUT, {I2(0), I4(2)}), S_OK);
    ASSERT_EQ(Call(&dao, u"ChannelRange", DISPATCH_PROPERTYPUT, {I2(1), I2(0)}), S_OK);
    EXPECT_EQ(dao.calls, (std::vector<std::string>{"ChannelName 0", "Value 1 124", "ValueReal 0 2.000000",
                                                   "ChannelRange 1 0"}));
    // A result nobody asked for is released (the sanitizer build sees a leak).
    EXPECT_EQ(Call(&dao, u"ChannelName", DISPATCH_PROPERTYGET, {I2(0)}), S_OK);
    UINT argErr = 7;
    EXPECT_EQ(Call(&dao, u"Value", DISPATCH_PROPERTYPUT, {I4(70000), I4(1)}, nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u);
}

TEST(Dispatch, BuffersComeAsAReferenceToTheFirstElementOrAsAnArray) {
    FakeDao dao;
    VARIANT result;
    VariantInit(&result);
    int32_t codes[3] = {40000, -5, 7};
    VARIANT first = Of(VT_BYREF | VT_I4);
    first.plVal = codes;
    ASSERT_EQ(Call(&dao, u"SetValues", DISPATCH_METHOD, {I2(0), I2(3), first}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 3);
    EXPECT_EQ(codes[0], 32000) << "the member writes into the caller's array";

    SAFEARRAY* volts = SafeArrayCreateVector(VT_R8, 1, 2);
    static_cast<double*>(volts->pvData)[0] = 12.5;
    VARIANT array = Of(VT_ARRAY | VT_R8);
    array.parray = volts;
    ASSERT_EQ(Call(&dao, u"SetValuesReal", DISPATCH_METHOD, {I2(0), I2(2), array}, &result), S_OK);
    EXPECT_EQ(static_cast<double*>(volts->pvData)[0], 10.0);
    EXPECT_EQ(volts->cLocks, 0u) << "the array is unlocked again";

    UINT argErr = 9;
    EXPECT_EQ(Call(&dao, u"SetValues", DISPATCH_METHOD, {I2(0), I2(2), array}, &result, &argErr),
              DISP_E_TYPEMISMATCH)
        << "Doubles are no Long buffer";
    EXPECT_EQ(argErr, 0u);
    SafeArrayDestroy(volts);
}

TEST(Dispatch, BooleanLetsAndWriteBackIntoTheCallersReference) {
    FakeDio dio;
    ASSERT_EQ(Call(&dio, u"DOStartEnabled", DISPATCH_PROPERTYPUT, {I4(5)}), S_OK);
    EXPECT_EQ(dio.startEnabled, VARIANT_TRUE);
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(Call(&dio, u"DOStartEnabled", DISPATCH_PROPERTYGET, {}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_BOOL);
    EXPECT_EQ(result.boolVal, VARIANT_TRUE);

    int16_t word = 21;
    VARIANT shortRef = Of(VT_BYREF | VT_I2);
    shortRef.piVal = &word;
    ASSERT_EQ(Call(&dio, u"DOValue", DISPATCH_PROPERTYPUT, {shortRef}), S_OK);
    EXPECT_EQ(dio.doValue, 21);
    EXPECT_EQ(word, 42) << "converted back to the caller's Integer";

    VARIANT held = I2(100);
    VARIANT variantRef = Of(VT_BYREF | VT_VARIANT);
    variantRef.pvarVal = &held;
    ASSERT_EQ(Call(&dio, u"DOValue", DISPATCH_PROPERTYPUT, {variantRef}), S_OK);
    EXPECT_EQ(held.vt, VT_I2) << "the caller's Variant keeps its type";
    EXPECT_EQ(held.iVal, 200);

    int32_t exact = 3;
    VARIANT longRef = Of(VT_BYREF | VT_I4);
    longRef.plVal = &exact;
    ASSERT_EQ(Call(&dio, u"DOValue", DISPATCH_PROPERTYPUT, {longRef}), S_OK);
    EXPECT_EQ(exact, 6) << "the member wrote into the caller's own Long";
    ASSERT_EQ(Call(&dio, u"DOValue", DISPATCH_PROPERTYPUT, {I4(8)}), S_OK);
    EXPECT_EQ(dio.doValue, 8);
}

TEST(Dispatch, NothingThrownCrossesInvoke) {
    FakeDao dao;
    dao.throwOnName = true;
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(Call(&dao, u"Name", DISPATCH_PROPERTYGET, {}, &result), E_OUTOFMEMORY);
    EXPECT_EQ(result.vt, VT_EMPTY);
}

} // namespace
