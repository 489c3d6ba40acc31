// IDAO members: the analog-output fields of DriverState and the output
// engine operations. The code limits, range and scaling are the same for
// both channels, so those getters ignore their Index.
#include "driver/dao_face.h"

#include <string>

#include "driver/driver_state.h"
#include "driver/host_values.h"
#include "output/dac_output.h"

namespace velmora::driver {
namespace {

// The static level of an existing channel, volts; 0 for any other index.
double Level(int16_t index) {
    const DriverState& s = State();
    if (!output::DacIndexInRange(s, index)) return 0.0;
    return s.dacChannels[static_cast<std::size_t>(index)].value;
}

} // namespace

HRESULT DaoFace::get_Name(BSTR* result) {
    return GetValue(result, [] { return ToBstr(State().adcName); });
}

HRESULT DaoFace::get_Resolution(uint8_t* result) {
    return GetValue(result, [] { return State().dacResolution; });
}

HRESULT DaoFace::get_Detected(VARIANT_BOOL* result) {
    return GetValue(result, [] { return ToVariantBool(State().dacChannelsCount >= 1); });
}

HRESULT DaoFace::get_Busy(VARIANT_BOOL* result) {
    return GetValue(result, [] { return ToVariantBool(output::DacBusy(State())); });
}

HRESULT DaoFace::get_LastError(BSTR* result) {
    return GetValue(result, [] { return ToBstr(State().dacLastError); });
}

HRESULT DaoFace::get_ChannelsCount(int16_t* result) {
    return GetValue(result, [] { return State().dacChannelsCount; });
}

HRESULT DaoFace::get_ChannelName(int16_t Index, BSTR* result) {
    return GetValue(result, [Index] {
        if (!output::DacIndexInRange(State(), Index)) return ToBstr("");
        return ToBstr("DAC" + std::to_string(Index + 1));
    });
}

HRESULT DaoFace::get_ChannelMax(int16_t, int32_t* result) {
    return GetValue(result, [] { return State().dacCodeMax; });
}

HRESULT DaoFace::get_ChannelMin(int16_t, int32_t* result) {
    return GetValue(result, [] { return State().dacCodeMin; });
}

HRESULT DaoFace::get_ChannelMaxReal(int16_t, double* result) {
    return GetValue(result, [] { return State().dacVoltMax; });
}

HRESULT DaoFace::get_ChannelMinReal(int16_t, double* result) {
    return GetValue(result, [] { return State().dacVoltMin; });
}

HRESULT DaoFace::get_RangesCount(int16_t* result) {
    return GetValue(result, [] { return State().dacRangesCount; });
}

HRESULT DaoFace::get_Ranges(SAFEARRAY** result) {
    return GetValue(result, [] { return ToStringArray(State().dacRangeNames); });
}

// One range: it is always range 0, and choosing another changes nothing.
HRESULT DaoFace::get_ChannelRange(int16_t, int16_t* result) {
    return GetValue(result, [] { return int16_t{0}; });
}

HRESULT DaoFace::put_ChannelRange(int16_t, int16_t) {
    return S_OK;
}

HRESULT DaoFace::get_ChannelUnitScale(int16_t, double* result) {
    return GetValue(result, [] { return State().dacUnitScale; });
}

HRESULT DaoFace::get_ChannelUnitOffset(int16_t, double* result) {
    return GetValue(result, [] { return State().dacUnitOffset; });
}

HRESULT DaoFace::get_ChannelUnitName(int16_t, BSTR* result) {
    return GetValue(result, [] { return ToBstr(""); });
}

HRESULT DaoFace::get_Value(int16_t Index, int32_t* result) {
    return GetValue(result, [Index] { return output::DacVoltsToCode(State(), Level(Index)); });
}

HRESULT DaoFace::put_Value(int16_t Index, int32_t code) {
    return Run([=] { output::WriteDacCode(State(), Index, code); });
}

HRESULT DaoFace::get_ValueReal(int16_t Index, double* result) {
    return GetValue(result, [Index] { return Level(Index); });
}

HRESULT DaoFace::put_ValueReal(int16_t Index, double ChValue) {
    return Run([=] { output::WriteDacVolts(State(), Index, ChValue); });
}

HRESULT DaoFace::SetValues(int16_t ChFirst, int16_t ChCount, int32_t* ChValues, int32_t* result) {
    if (ChValues == nullptr) return E_POINTER;
    return GetValue(result, [&] { return output::SetDacCodes(State(), ChFirst, ChCount, ChValues); });
}

HRESULT DaoFace::SetValuesReal(int16_t ChFirst, int16_t ChCount, double* ChValues, int32_t* result) {
    if (ChValues == nullptr) return E_POINTER;
    return GetValue(result, [&] { return output::SetDacVolts(State(), ChFirst, ChCount, ChValues); });
}

} // namespace velmora::driver
