// The IDAO face of a Lintara object: the module's two analog outputs, their
// description and static levels in codes or volts. Thin members over the
// analog-output fields and the output engine operations, each inside the
// exception firewall. Host thread only.
#pragma once

#include "driver/face.h"
#include "engine/analog_input.h"
#include "engine/module_link.h"
#include "output/analog_output.h"

namespace velmora::driver {

class DaoFace final : public Face<IDAO> {
public:
    DaoFace(IUnknown& identity, output::AnalogOutput& output, engine::ModuleLink& module,
            const engine::AnalogInput& input)
        : Face(identity), out_(output), module_(module), input_(input) {}

    HRESULT STDMETHODCALLTYPE get_Name(BSTR* result) override;
    HRESULT STDMETHODCALLTYPE get_Resolution(uint8_t* result) override;
    HRESULT STDMETHODCALLTYPE get_Detected(VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE get_Busy(VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE get_LastError(BSTR* result) override;
    HRESULT STDMETHODCALLTYPE get_ChannelsCount(int16_t* result) override;
    HRESULT STDMETHODCALLTYPE get_ChannelName(int16_t Index, BSTR* result) override;
    HRESULT STDMETHODCALLTYPE get_ChannelMax(int16_t Index, int32_t* result) override;
    HRESULT STDMETHODCALLTYPE get_ChannelMin(int16_t Index, int32_t* result) override;
    HRESULT STDMETHODCALLTYPE get_ChannelMaxReal(int16_t Index, double* result) override;
    HRESULT STDMETHODCALLTYPE get_ChannelMinReal(int16_t Index, double* result) override;
    HRESULT STDMETHODCALLTYPE get_RangesCount(int16_t* result) override;
    HRESULT STDMETHODCALLTYPE get_Ranges(SAFEARRAY** result) override;
    HRESULT STDMETHODCALLTYPE get_ChannelRange(int16_t Index, int16_t* result) override;
    HRESULT STDMETHODCALLTYPE put_ChannelRange(int16_t Index, int16_t RangeIndex) override;
    HRESULT STDMETHODCALLTYPE get_ChannelUnitScale(int16_t Index, double* result) override;
    HRESULT STDMETHODCALLTYPE get_ChannelUnitOffset(int16_t Index, double* result) override;
    HRESULT STDMETHODCALLTYPE get_ChannelUnitName(int16_t Index, BSTR* result) override;
    HRESULT STDMETHODCALLTYPE get_Value(int16_t Index, int32_t* result) override;
    HRESULT STDMETHODCALLTYPE put_Value(int16_t Index, int32_t code) override;
    HRESULT STDMETHODCALLTYPE get_ValueReal(int16_t Index, double* result) override;
    HRESULT STDMETHODCALLTYPE put_ValueReal(int16_t Index, double ChValue) override;
    HRESULT STDMETHODCALLTYPE SetValues(int16_t ChFirst, int16_t ChCount, int32_t* ChValues,
                                        int32_t* result) override;
    HRESULT STDMETHODCALLTYPE SetValuesReal(int16_t ChFirst, int16_t ChCount, double* ChValues,
                                            int32_t* result) override;

private:
    output::AnalogOutput& out_;
    engine::ModuleLink& module_;       // the device the levels go to
    const engine::AnalogInput& input_; // the module's name
};

} // namespace velmora::driver
