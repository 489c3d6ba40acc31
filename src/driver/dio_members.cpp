// IDIO members: the DigitalIo's fields and operations. The start and stop
// lets only store; the words reach the lines when a recording starts or stops.
#include "driver/dio_face.h"

#include "driver/host_values.h"

namespace velmora::driver {
namespace {

// A let of a stored field: E_POINTER for a null argument.
template <typename T, typename Store> HRESULT Let(const T* value, Store&& store) {
    if (value == nullptr) return E_POINTER;
    return Run([&] { store(*value); });
}

} // namespace

HRESULT DioFace::get_DIOName(BSTR* result) {
    return GetValue(result, [this] { return ToBstr(input_.adcName); });
}

HRESULT DioFace::get_Detected(VARIANT_BOOL* result) {
    return GetValue(result, [this] { return ToVariantBool(dio_.present); });
}

HRESULT DioFace::get_DIBits(uint8_t* result) {
    return GetValue(result, [this] { return dio_.diBits; });
}

HRESULT DioFace::get_DOBits(uint8_t* result) {
    return GetValue(result, [this] { return dio_.doBits; });
}

// Reads the module now (before any detection: the word read last).
HRESULT DioFace::get_DIValue(int32_t* result) {
    return GetValue(result, [this] { return dio_.ReadInputs(module_.Device()); });
}

// The word written last; the module is not read.
HRESULT DioFace::get_DOValue(int32_t* result) {
    return GetValue(result, [this] { return dio_.doValue; });
}

HRESULT DioFace::put_DOValue(int32_t* lValue) {
    return Let(lValue, [this](int32_t value) { dio_.WriteOutputs(module_.Device(), value); });
}

HRESULT DioFace::get_DOStartEnabled(VARIANT_BOOL* result) {
    return GetValue(result, [this] { return ToVariantBool(dio_.doStartEnabled); });
}

HRESULT DioFace::put_DOStartEnabled(VARIANT_BOOL* fTurn) {
    return Let(fTurn, [this](VARIANT_BOOL turn) { dio_.doStartEnabled = turn != VARIANT_FALSE; });
}

HRESULT DioFace::get_DOStartValue(int32_t* result) {
    return GetValue(result, [this] { return dio_.doStartValue; });
}

HRESULT DioFace::put_DOStartValue(int32_t* lValue) {
    return Let(lValue, [this](int32_t value) { dio_.doStartValue = value; });
}

HRESULT DioFace::get_DOStopEnabled(VARIANT_BOOL* result) {
    return GetValue(result, [this] { return ToVariantBool(dio_.doStopEnabled); });
}

HRESULT DioFace::put_DOStopEnabled(VARIANT_BOOL* fTurn) {
    return Let(fTurn, [this](VARIANT_BOOL turn) { dio_.doStopEnabled = turn != VARIANT_FALSE; });
}

HRESULT DioFace::get_DOStopValue(int32_t* result) {
    return GetValue(result, [this] { return dio_.doStopValue; });
}

HRESULT DioFace::put_DOStopValue(int32_t* lValue) {
    return Let(lValue, [this](int32_t value) { dio_.doStopValue = value; });
}

} // namespace velmora::driver
