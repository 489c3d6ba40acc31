// The IDIO face of a Lintara object: the module's 16 digital inputs and 16
// outputs and the words written at recording start and stop. Thin members
// over the dio record and the dio engine operations, each inside the
// exception firewall. Host thread only.
#pragma once

#include "dio/digital_io.h"
#include "driver/face.h"
#include "engine/analog_input.h"
#include "engine/module_link.h"

namespace velmora::driver {

class DioFace final : public Face<IDIO> {
public:
    DioFace(IUnknown& identity, dio::DigitalIo& dio, engine::ModuleLink& module,
            const engine::AnalogInput& input)
        : Face(identity), dio_(dio), module_(module), input_(input) {}

    HRESULT STDMETHODCALLTYPE get_DIOName(BSTR* result) override;
    HRESULT STDMETHODCALLTYPE get_Detected(VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE get_DIBits(uint8_t* result) override;
    HRESULT STDMETHODCALLTYPE get_DOBits(uint8_t* result) override;
    HRESULT STDMETHODCALLTYPE get_DIValue(int32_t* result) override;
    HRESULT STDMETHODCALLTYPE get_DOValue(int32_t* result) override;
    HRESULT STDMETHODCALLTYPE put_DOValue(int32_t* lValue) override;
    HRESULT STDMETHODCALLTYPE get_DOStartEnabled(VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE put_DOStartEnabled(VARIANT_BOOL* fTurn) override;
    HRESULT STDMETHODCALLTYPE get_DOStartValue(int32_t* result) override;
    HRESULT STDMETHODCALLTYPE put_DOStartValue(int32_t* lValue) override;
    HRESULT STDMETHODCALLTYPE get_DOStopEnabled(VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE put_DOStopEnabled(VARIANT_BOOL* fTurn) override;
    HRESULT STDMETHODCALLTYPE get_DOStopValue(int32_t* result) override;
    HRESULT STDMETHODCALLTYPE put_DOStopValue(int32_t* lValue) override;

private:
    dio::DigitalIo& dio_;
    engine::ModuleLink& module_;       // the device the words go to
    const engine::AnalogInput& input_; // the module's name
};

} // namespace velmora::driver
