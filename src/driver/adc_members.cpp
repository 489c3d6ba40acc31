// IADC3 members: each returns a field of one subsystem or calls one operation.
#include "driver/adc_face.h"

#include "driver/host_values.h"
#include "engine/operations.h"
#include "ui/dialogs.h"
#include "ui/dialogs_prompt.h"
#include "ui/setup_model.h"

namespace velmora::driver {
namespace {

template <typename... P> bool AnyNull(const P*... pointers) {
    return ((pointers == nullptr) || ...);
}

} // namespace

HRESULT AdcFace::get_ADCName(BSTR* result) {
    return GetValue(result, [this] { return ToBstr(s_.input.adcName); });
}

HRESULT AdcFace::get_Resolution(uint8_t* result) {
    return GetValue(result, [this] { return s_.input.resolution; });
}

HRESULT AdcFace::get_ChannelsCount(int16_t* result) {
    return GetValue(result, [this] { return s_.input.channelsCount; });
}

HRESULT AdcFace::get_RateMax(float* result) {
    return GetValue(result, [this] { return s_.input.rateMax; });
}

HRESULT AdcFace::get_Ranges(SAFEARRAY** result) {
    return GetValue(result, [this] { return ToStringArray(s_.input.rangeNames); });
}

HRESULT AdcFace::get_Detected(VARIANT_BOOL* result) {
    return GetValue(result, [this] { return ToVariantBool(engine::Settle(s_).module.detected); });
}

HRESULT AdcFace::Test(VARIANT_BOOL* result) {
    return GetValue(result, [this] {
        ui::DialogsPrompt prompt;
        return ToVariantBool(engine::TestDevice(s_, prompt));
    });
}

HRESULT AdcFace::get_BasePort(int16_t* result) {
    return GetValue(result, [this] { return s_.module.basePort; });
}

HRESULT AdcFace::get_Busy(VARIANT_BOOL* result) {
    return GetValue(result, [this] { return ToVariantBool(engine::Settle(s_).acquisition.Busy()); });
}

HRESULT AdcFace::get_ChannelName(int16_t* Index, BSTR* result) {
    if (AnyNull(Index)) return E_POINTER;
    return GetValue(result, [&] { return ToBstr(s_.input.ChannelName(*Index)); });
}

HRESULT AdcFace::get_ChannelRange(int16_t* Index, int16_t* result) {
    if (AnyNull(Index)) return E_POINTER;
    return GetValue(result, [&] { return s_.input.ChannelRange(*Index); });
}

HRESULT AdcFace::put_ChannelRange(int16_t* Index, int16_t* RangeIndex) {
    if (AnyNull(Index, RangeIndex)) return E_POINTER;
    return Run([&] { engine::SetChannelRange(s_, *Index, *RangeIndex); });
}

HRESULT AdcFace::get_ChannelUnitScale(int16_t* Index, float* result) {
    if (AnyNull(Index)) return E_POINTER;
    return GetValue(result, [&] { return s_.input.UnitScale(*Index); });
}

HRESULT AdcFace::get_ChannelUnitOffset(int16_t* Index, float* result) {
    if (AnyNull(Index)) return E_POINTER;
    return GetValue(result, [&] { return s_.input.UnitOffset(*Index); });
}

HRESULT AdcFace::get_ChannelUnitName(int16_t* Index, BSTR* result) {
    if (AnyNull(Index)) return E_POINTER;
    return GetValue(result, [] { return ToBstr(""); });
}

HRESULT AdcFace::get_Rate(float* result) {
    return GetValue(result, [this] { return engine::GetRate(s_); });
}

HRESULT AdcFace::put_Rate(float* sRate) {
    if (AnyNull(sRate)) return E_POINTER;
    return Run([&] { engine::SetRate(s_, *sRate); });
}

HRESULT AdcFace::put_InputSizeData(int32_t* NewSize) {
    if (AnyNull(NewSize)) return E_POINTER;
    return Run([&] { engine::SetInputSizeRequested(s_, *NewSize); });
}

HRESULT AdcFace::get_InputSizeData(int32_t* result) {
    return GetValue(result, [this] { return s_.ring.SizeData(); });
}

HRESULT AdcFace::get_InputCountData(int32_t* result) {
    return GetValue(result,
                    [this] { return engine::Settle(s_).ring.CountUnread() * s_.input.inputCountChannels; });
}

HRESULT AdcFace::get_InputSizeKadrs(int32_t* result) {
    return GetValue(result, [this] { return s_.ring.SizeKadrs(); });
}

HRESULT AdcFace::get_InputCountKadrs(int32_t* result) {
    return GetValue(result, [this] { return engine::Settle(s_).ring.CountUnread(); });
}

HRESULT AdcFace::get_InputCountChannels(int16_t* result) {
    return GetValue(result, [this] { return s_.input.inputCountChannels; });
}

HRESULT AdcFace::get_InputChannels(SAFEARRAY** result) {
    return GetValue(result, [this] { return ToInt16Array(s_.input.inputChannels); });
}

// Arrays the selection cannot come from (null, empty, 2-D, unconvertible
// elements) leave it as it is.
HRESULT AdcFace::put_InputChannels(SAFEARRAY** ChTable) {
    if (AnyNull(ChTable)) return E_POINTER;
    return Run([&] {
        if (auto channels = FromInt16Array(*ChTable)) engine::SetInputChannels(s_, *channels);
    });
}

HRESULT AdcFace::GetChannel(int16_t* Index, int16_t* result) {
    if (AnyNull(Index)) return E_POINTER;
    return GetValue(result, [&] { return engine::ReadSingleChannel(engine::Settle(s_), *Index); });
}

// Reading a whole kadr at once is not provided: always a null array.
HRESULT AdcFace::GetKadr(SAFEARRAY** result) {
    return GetValue(result, []() -> SAFEARRAY* { return nullptr; });
}

HRESULT AdcFace::StartRecord(VARIANT_BOOL* result) {
    return GetValue(result, [this] { return ToVariantBool(engine::StartRecordChecked(s_)); });
}

HRESULT AdcFace::StopRecord() {
    // EndReason stays, as StartTime and KadrsReceived do: it describes the last run.
    return Run([this] { engine::StopRecording(engine::Settle(s_)); });
}

HRESULT AdcFace::get_InputData(SAFEARRAY** result) {
    return GetValue(result, [this] {
        engine::InputRing& ring = engine::Settle(s_).ring;
        const engine::InputTable table = ring.Unread(s_.input.inputChannels);
        SAFEARRAY* array = ToInt16Table(table.channels, table.kadrs + 1, table.values);
        ring.MarkRead(table.kadrs); // once the array is made: one that is not leaves them unread
        return array;
    });
}

HRESULT AdcFace::GetData(int16_t* buffer, int32_t* count, int32_t* rest, int32_t* result) {
    if (AnyNull(buffer, count, rest)) return E_POINTER;
    return GetValue(result, [&] { return engine::Settle(s_).ring.Copy(buffer, *count, *rest); });
}

HRESULT AdcFace::get_LastError(BSTR* result) {
    return GetValue(result, [this] { return ToBstr(engine::Settle(s_).lastError); });
}

// The setup dialog edits what a recording uses, so it is refused while one
// runs. The service gets the frame over the state, never the state itself.
// The result is false either way.
HRESULT AdcFace::ShowSetting(VARIANT_BOOL* result) {
    return GetValue(result, [this] {
        ui::ShowSetupDialog(engine::Settle(s_));
        return VARIANT_FALSE;
    });
}

HRESULT AdcFace::get_Parent(IDispatch** result) {
    if (result == nullptr) return E_POINTER;
    return identity().QueryInterface(IID_IDispatch, reinterpret_cast<void**>(result));
}

} // namespace velmora::driver
