// IADC3 members: each returns a DriverState field or calls one operation.
#include "driver/adc_face.h"

#include "driver/driver_ops.h"
#include "driver/driver_state.h"
#include "driver/host_values.h"
#include "engine/channels.h"
#include "engine/input_ring.h"
#include "engine/single_reading.h"
#include "ui/dialogs.h"

namespace velmora::driver {
namespace {

template <typename... P> bool AnyNull(const P*... pointers) {
    return ((pointers == nullptr) || ...);
}

bool IsBusy(const DriverState& s) {
    return s.busy.load(std::memory_order_acquire);
}

} // namespace

HRESULT AdcFace::get_ADCName(BSTR* result) {
    return GetValue(result, [] { return ToBstr(State().adcName); });
}

HRESULT AdcFace::get_Resolution(uint8_t* result) {
    return GetValue(result, [] { return State().resolution; });
}

HRESULT AdcFace::get_ChannelsCount(int16_t* result) {
    return GetValue(result, [] { return State().channelsCount; });
}

HRESULT AdcFace::get_RateMax(float* result) {
    return GetValue(result, [] { return State().rateMax; });
}

HRESULT AdcFace::get_Ranges(SAFEARRAY** result) {
    return GetValue(result, [] { return ToStringArray(State().rangeNames); });
}

HRESULT AdcFace::get_Detected(VARIANT_BOOL* result) {
    return GetValue(result, [] { return ToVariantBool(State().detected); });
}

HRESULT AdcFace::Test(VARIANT_BOOL* result) {
    return GetValue(result, [] { return ToVariantBool(TestDevice(State())); });
}

HRESULT AdcFace::get_BasePort(int16_t* result) {
    return GetValue(result, [] { return State().basePort; });
}

HRESULT AdcFace::get_Busy(VARIANT_BOOL* result) {
    return GetValue(result, [] { return ToVariantBool(IsBusy(State())); });
}

HRESULT AdcFace::get_ChannelName(int16_t* Index, BSTR* result) {
    if (AnyNull(Index)) return E_POINTER;
    return GetValue(result, [&] { return ToBstr(engine::GetChannelName(State(), *Index)); });
}

HRESULT AdcFace::get_ChannelRange(int16_t* Index, int16_t* result) {
    if (AnyNull(Index)) return E_POINTER;
    return GetValue(result, [&] { return GetChannelRange(State(), *Index); });
}

HRESULT AdcFace::put_ChannelRange(int16_t* Index, int16_t* RangeIndex) {
    if (AnyNull(Index, RangeIndex)) return E_POINTER;
    return Run([&] { SetChannelRange(State(), *Index, *RangeIndex); });
}

HRESULT AdcFace::get_ChannelUnitScale(int16_t* Index, float* result) {
    if (AnyNull(Index)) return E_POINTER;
    return GetValue(result, [&] { return engine::ChannelUnitScale(State(), *Index); });
}

HRESULT AdcFace::get_ChannelUnitOffset(int16_t* Index, float* result) {
    if (AnyNull(Index)) return E_POINTER;
    return GetValue(result, [&] { return engine::ChannelUnitOffset(State(), *Index); });
}

HRESULT AdcFace::get_ChannelUnitName(int16_t* Index, BSTR* result) {
    if (AnyNull(Index)) return E_POINTER;
    return GetValue(result, [] { return ToBstr(""); });
}

HRESULT AdcFace::get_Rate(float* result) {
    return GetValue(result, [] { return GetRate(State()); });
}

HRESULT AdcFace::put_Rate(float* sRate) {
    if (AnyNull(sRate)) return E_POINTER;
    return Run([&] { SetRate(State(), *sRate); });
}

HRESULT AdcFace::put_InputSizeData(int32_t* NewSize) {
    if (AnyNull(NewSize)) return E_POINTER;
    return Run([&] { SetInputSizeRequested(State(), *NewSize); });
}

HRESULT AdcFace::get_InputSizeData(int32_t* result) {
    return GetValue(result, [] { return State().inputSizeData; });
}

HRESULT AdcFace::get_InputCountData(int32_t* result) {
    return GetValue(result, [] {
        const DriverState& s = State();
        return s.inputCountKadrs.load(std::memory_order_acquire) * s.inputCountChannels;
    });
}

HRESULT AdcFace::get_InputSizeKadrs(int32_t* result) {
    return GetValue(result, [] { return State().inputSizeKadrs; });
}

HRESULT AdcFace::get_InputCountKadrs(int32_t* result) {
    return GetValue(result, [] { return State().inputCountKadrs.load(std::memory_order_acquire); });
}

HRESULT AdcFace::get_InputCountChannels(int16_t* result) {
    return GetValue(result, [] { return State().inputCountChannels; });
}

HRESULT AdcFace::get_InputChannels(SAFEARRAY** result) {
    return GetValue(result, [] { return ToInt16Array(State().inputChannels); });
}

// Arrays the selection cannot come from (null, empty, 2-D, unconvertible
// elements) leave it as it is.
HRESULT AdcFace::put_InputChannels(SAFEARRAY** ChTable) {
    if (AnyNull(ChTable)) return E_POINTER;
    return Run([&] {
        if (auto channels = FromInt16Array(*ChTable)) engine::SetInputChannels(State(), *channels);
    });
}

HRESULT AdcFace::GetChannel(int16_t* Index, int16_t* result) {
    if (AnyNull(Index)) return E_POINTER;
    return GetValue(result, [&] { return engine::ReadSingleChannel(State(), *Index); });
}

// Reading a whole kadr at once is not provided: always a null array.
HRESULT AdcFace::GetKadr(SAFEARRAY** result) {
    return GetValue(result, []() -> SAFEARRAY* { return nullptr; });
}

HRESULT AdcFace::StartRecord(VARIANT_BOOL* result) {
    return GetValue(result, [] { return ToVariantBool(StartRecordChecked(State())); });
}

HRESULT AdcFace::StopRecord() {
    return Run([] { StopRecordNow(State()); });
}

HRESULT AdcFace::get_InputData(SAFEARRAY** result) {
    return GetValue(result, [] {
        const engine::InputTable table = engine::TakeInputData(State());
        return ToInt16Table(table.channels, table.kadrs + 1, table.values);
    });
}

HRESULT AdcFace::GetData(int16_t* buffer, int32_t* count, int32_t* rest, int32_t* result) {
    if (AnyNull(buffer, count, rest)) return E_POINTER;
    return GetValue(result, [&] { return engine::CopyInputData(State(), buffer, *count, *rest); });
}

HRESULT AdcFace::get_LastError(BSTR* result) {
    return GetValue(result, [] { return ToBstr(State().lastError); });
}

// The setup dialog edits what a recording uses, so it is refused while one
// runs. The result is false either way.
HRESULT AdcFace::ShowSetting(VARIANT_BOOL* result) {
    return GetValue(result, [] {
        if (!IsBusy(State())) ui::CurrentDialogs().ShowSetup();
        return VARIANT_FALSE;
    });
}

HRESULT AdcFace::get_Parent(IDispatch** result) {
    if (result == nullptr) return E_POINTER;
    return identity().QueryInterface(IID_IDispatch, reinterpret_cast<void**>(result));
}

} // namespace velmora::driver
