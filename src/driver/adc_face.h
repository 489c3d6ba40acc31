// The IADC3 face of a Lintara object: analog input. Every member is a thin
// call into the analog-input subsystems of the DriverState it is given (the
// setup, the ring, the acquisition, the module) or an engine operation, run
// inside the exception firewall. Host thread only.
#pragma once

#include "driver/face.h"
#include "engine/driver_state.h"

namespace velmora::driver {

class AdcFace final : public Face<IADC3> {
public:
    AdcFace(IUnknown& identity, engine::DriverState& state) : Face(identity), s_(state) {}

    HRESULT STDMETHODCALLTYPE get_ADCName(BSTR* result) override;
    HRESULT STDMETHODCALLTYPE get_Resolution(uint8_t* result) override;
    HRESULT STDMETHODCALLTYPE get_ChannelsCount(int16_t* result) override;
    HRESULT STDMETHODCALLTYPE get_RateMax(float* result) override;
    HRESULT STDMETHODCALLTYPE get_Ranges(SAFEARRAY** result) override;
    HRESULT STDMETHODCALLTYPE get_Detected(VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE Test(VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE get_BasePort(int16_t* result) override;
    HRESULT STDMETHODCALLTYPE get_Busy(VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE get_ChannelName(int16_t* Index, BSTR* result) override;
    HRESULT STDMETHODCALLTYPE get_ChannelRange(int16_t* Index, int16_t* result) override;
    HRESULT STDMETHODCALLTYPE put_ChannelRange(int16_t* Index, int16_t* RangeIndex) override;
    HRESULT STDMETHODCALLTYPE get_ChannelUnitScale(int16_t* Index, float* result) override;
    HRESULT STDMETHODCALLTYPE get_ChannelUnitOffset(int16_t* Index, float* result) override;
    HRESULT STDMETHODCALLTYPE get_ChannelUnitName(int16_t* Index, BSTR* result) override;
    HRESULT STDMETHODCALLTYPE get_Rate(float* result) override;
    HRESULT STDMETHODCALLTYPE put_Rate(float* sRate) override;
    HRESULT STDMETHODCALLTYPE put_InputSizeData(int32_t* NewSize) override;
    HRESULT STDMETHODCALLTYPE get_InputSizeData(int32_t* result) override;
    HRESULT STDMETHODCALLTYPE get_InputCountData(int32_t* result) override;
    HRESULT STDMETHODCALLTYPE get_InputSizeKadrs(int32_t* result) override;
    HRESULT STDMETHODCALLTYPE get_InputCountKadrs(int32_t* result) override;
    HRESULT STDMETHODCALLTYPE get_InputCountChannels(int16_t* result) override;
    HRESULT STDMETHODCALLTYPE get_InputChannels(SAFEARRAY** result) override;
    HRESULT STDMETHODCALLTYPE put_InputChannels(SAFEARRAY** ChTable) override;
    HRESULT STDMETHODCALLTYPE GetChannel(int16_t* Index, int16_t* result) override;
    HRESULT STDMETHODCALLTYPE GetKadr(SAFEARRAY** result) override;
    HRESULT STDMETHODCALLTYPE StartRecord(VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE StopRecord() override;
    HRESULT STDMETHODCALLTYPE get_InputData(SAFEARRAY** result) override;
    HRESULT STDMETHODCALLTYPE GetData(int16_t* buffer, int32_t* count, int32_t* rest,
                                      int32_t* result) override;
    HRESULT STDMETHODCALLTYPE get_LastError(BSTR* result) override;
    HRESULT STDMETHODCALLTYPE ShowSetting(VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE get_Parent(IDispatch** result) override;

private:
    // Analog input touches most subsystems: detection, recording and the
    // dialogs all span them.
    engine::DriverState& s_;
};

} // namespace velmora::driver
