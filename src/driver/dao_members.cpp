// IDAO members: the AnalogOutput's fields and operations. The code limits,
// range and scaling are the same for both channels, so those getters ignore
// their Index.
#include "driver/dao_face.h"

#include <string>

#include "driver/host_values.h"

namespace velmora::driver {

HRESULT DaoFace::get_Name(BSTR* result) {
    return GetValue(result, [this] { return ToBstr(input_.adcName); });
}

HRESULT DaoFace::get_Resolution(uint8_t* result) {
    return GetValue(result, [this] { return out_.resolution; });
}

HRESULT DaoFace::get_Detected(VARIANT_BOOL* result) {
    return GetValue(result, [this] { return ToVariantBool(out_.channelsCount >= 1); });
}

HRESULT DaoFace::get_Busy(VARIANT_BOOL* result) {
    return GetValue(result, [this] { return ToVariantBool(out_.Busy()); });
}

HRESULT DaoFace::get_LastError(BSTR* result) {
    return GetValue(result, [this] { return ToBstr(out_.lastError); });
}

HRESULT DaoFace::get_ChannelsCount(int16_t* result) {
    return GetValue(result, [this] { return out_.channelsCount; });
}

HRESULT DaoFace::get_ChannelName(int16_t Index, BSTR* result) {
    return GetValue(result, [this, Index] {
        if (!out_.IndexInRange(Index)) return ToBstr("");
        return ToBstr("DAC" + std::to_string(Index + 1));
    });
}

HRESULT DaoFace::get_ChannelMax(int16_t, int32_t* result) {
    return GetValue(result, [this] { return out_.codeMax; });
}

HRESULT DaoFace::get_ChannelMin(int16_t, int32_t* result) {
    return GetValue(result, [this] { return out_.codeMin; });
}

HRESULT DaoFace::get_ChannelMaxReal(int16_t, double* result) {
    return GetValue(result, [this] { return out_.voltMax; });
}

HRESULT DaoFace::get_ChannelMinReal(int16_t, double* result) {
    return GetValue(result, [this] { return out_.voltMin; });
}

HRESULT DaoFace::get_RangesCount(int16_t* result) {
    return GetValue(result, [this] { return out_.rangesCount; });
}

HRESULT DaoFace::get_Ranges(SAFEARRAY** result) {
    return GetValue(result, [this] { return ToStringArray(out_.rangeNames); });
}

// One range: it is always range 0, and choosing another changes nothing.
HRESULT DaoFace::get_ChannelRange(int16_t, int16_t* result) {
    return GetValue(result, [] { return int16_t{0}; });
}

HRESULT DaoFace::put_ChannelRange(int16_t, int16_t) {
    return S_OK;
}

HRESULT DaoFace::get_ChannelUnitScale(int16_t, double* result) {
    return GetValue(result, [this] { return out_.unitScale; });
}

HRESULT DaoFace::get_ChannelUnitOffset(int16_t, double* result) {
    return GetValue(result, [this] { return out_.unitOffset; });
}

HRESULT DaoFace::get_ChannelUnitName(int16_t, BSTR* result) {
    return GetValue(result, [] { return ToBstr(""); });
}

HRESULT DaoFace::get_Value(int16_t Index, int32_t* result) {
    return GetValue(result, [this, Index] { return out_.VoltsToCode(out_.Level(Index)); });
}

HRESULT DaoFace::put_Value(int16_t Index, int32_t code) {
    return Run([=, this] { out_.WriteCode(module_.Device(), Index, code); });
}

HRESULT DaoFace::get_ValueReal(int16_t Index, double* result) {
    return GetValue(result, [this, Index] { return out_.Level(Index); });
}

HRESULT DaoFace::put_ValueReal(int16_t Index, double ChValue) {
    return Run([=, this] { out_.WriteVolts(module_.Device(), Index, ChValue); });
}

HRESULT DaoFace::SetValues(int16_t ChFirst, int16_t ChCount, int32_t* ChValues, int32_t* result) {
    if (ChValues == nullptr) return E_POINTER;
    return GetValue(result, [&] { return out_.SetCodes(module_.Device(), ChFirst, ChCount, ChValues); });
}

HRESULT DaoFace::SetValuesReal(int16_t ChFirst, int16_t ChCount, double* ChValues, int32_t* result) {
    if (ChValues == nullptr) return E_POINTER;
    return GetValue(result, [&] { return out_.SetVolts(module_.Device(), ChFirst, ChCount, ChValues); });
}

} // namespace velmora::driver
