// IDIO members: the dio record of DriverState and the digital engine
// operations. The start and stop lets only store; the words reach the lines
// when a recording starts or stops.
#include "driver/dio_face.h"

#include "dio/digital_io.h"
#include "driver/driver_state.h"
#include "driver/host_values.h"

namespace velmora::driver {
namespace {

DioState& Dio() {
    return State().dio;
}

// A let of a stored field: E_POINTER for a null argument.
template <typename T, typename Store> HRESULT Let(const T* value, Store&& store) {
    if (value == nullptr) return E_POINTER;
    return Run([&] { store(*value); });
}

} // namespace

HRESULT DioFace::get_DIOName(BSTR* result) {
    return GetValue(result, [] { return ToBstr(State().adcName); });
}

HRESULT DioFace::get_Detected(VARIANT_BOOL* result) {
    return GetValue(result, [] { return ToVariantBool(Dio().present); });
}

HRESULT DioFace::get_DIBits(uint8_t* result) {
    return GetValue(result, [] { return Dio().diBits; });
}

HRESULT DioFace::get_DOBits(uint8_t* result) {
    return GetValue(result, [] { return Dio().doBits; });
}

// Reads the module now (before any detection: the word read last).
HRESULT DioFace::get_DIValue(int32_t* result) {
    return GetValue(result, [] { return dio::ReadDigitalInputs(State()); });
}

// The word written last; the module is not read.
HRESULT DioFace::get_DOValue(int32_t* result) {
    return GetValue(result, [] { return Dio().doValue; });
}

HRESULT DioFace::put_DOValue(int32_t* lValue) {
    return Let(lValue, [](int32_t value) { dio::WriteDigitalOutputs(State(), value); });
}

HRESULT DioFace::get_DOStartEnabled(VARIANT_BOOL* result) {
    return GetValue(result, [] { return ToVariantBool(Dio().doStartEnabled); });
}

HRESULT DioFace::put_DOStartEnabled(VARIANT_BOOL* fTurn) {
    return Let(fTurn, [](VARIANT_BOOL turn) { Dio().doStartEnabled = turn != VARIANT_FALSE; });
}

HRESULT DioFace::get_DOStartValue(int32_t* result) {
    return GetValue(result, [] { return Dio().doStartValue; });
}

HRESULT DioFace::put_DOStartValue(int32_t* lValue) {
    return Let(lValue, [](int32_t value) { Dio().doStartValue = value; });
}

HRESULT DioFace::get_DOStopEnabled(VARIANT_BOOL* result) {
    return GetValue(result, [] { return ToVariantBool(Dio().doStopEnabled); });
}

HRESULT DioFace::put_DOStopEnabled(VARIANT_BOOL* fTurn) {
    return Let(fTurn, [](VARIANT_BOOL turn) { Dio().doStopEnabled = turn != VARIANT_FALSE; });
}

HRESULT DioFace::get_DOStopValue(int32_t* result) {
    return GetValue(result, [] { return Dio().doStopValue; });
}

HRESULT DioFace::put_DOStopValue(int32_t* lValue) {
    return Let(lValue, [](int32_t value) { Dio().doStopValue = value; });
}

} // namespace velmora::driver
