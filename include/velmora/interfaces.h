// The driver's host interfaces: _Lintara, IADC3 (analog input), IDIO (digital
// I/O) and IDAO (analog output) as dual interfaces, members in slot order,
// with their identifiers and the class's ProgID.
#pragma once

#include <velmora/com.h>

// {BB12D05D-B411-48F7-B216-85A9A272A782}
inline constexpr CLSID CLSID_Lintara = {
    0xBB12D05D, 0xB411, 0x48F7, {0xB2, 0x16, 0x85, 0xA9, 0xA2, 0x72, 0xA7, 0x82}};
// {B4440535-325A-4CBE-BFF5-519F7B757B99}
inline constexpr IID IID__Lintara = {
    0xB4440535, 0x325A, 0x4CBE, {0xBF, 0xF5, 0x51, 0x9F, 0x7B, 0x75, 0x7B, 0x99}};
// {97B526A8-3B46-11D7-B688-FDAEA8668E28}
inline constexpr IID IID_IADC3 = {
    0x97B526A8, 0x3B46, 0x11D7, {0xB6, 0x88, 0xFD, 0xAE, 0xA8, 0x66, 0x8E, 0x28}};
// {71ECC956-D500-11D9-B68D-BB19B6122F29}
inline constexpr IID IID_IDIO = {
    0x71ECC956, 0xD500, 0x11D9, {0xB6, 0x8D, 0xBB, 0x19, 0xB6, 0x12, 0x2F, 0x29}};
// {A982971F-182F-4985-8251-AA1C39AD4900}
inline constexpr IID IID_IDAO = {
    0xA982971F, 0x182F, 0x4985, {0x82, 0x51, 0xAA, 0x1C, 0x39, 0xAD, 0x49, 0x00}};
// {40F7B14B-94A2-4BBA-9094-FA94F4C25B02}, the type library "Velmora"
inline constexpr GUID LIBID_Velmora = {
    0x40F7B14B, 0x94A2, 0x4BBA, {0x90, 0x94, 0xFA, 0x94, 0xF4, 0xC2, 0x5B, 0x02}};

inline constexpr char PROGID_Lintara[] = "Velmora.Lintara";

// The class's own members: each returns the object itself.
struct _Lintara : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE GetADC3(IDispatch** result) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDIO(IDispatch** result) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDAO(IDispatch** result) = 0;
};

// Analog input. A kadr is one sample of every selected channel; samples are
// signed 16-bit codes, code / ChannelUnitScale volts.
struct IADC3 : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_ADCName(BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Resolution(uint8_t* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ChannelsCount(int16_t* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_RateMax(float* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Ranges(SAFEARRAY** result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Detected(VARIANT_BOOL* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE Test(VARIANT_BOOL* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_BasePort(int16_t* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Busy(VARIANT_BOOL* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ChannelName(int16_t* Index, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ChannelRange(int16_t* Index, int16_t* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ChannelRange(int16_t* Index, int16_t* RangeIndex) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ChannelUnitScale(int16_t* Index, float* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ChannelUnitOffset(int16_t* Index, float* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ChannelUnitName(int16_t* Index, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Rate(float* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Rate(float* sRate) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_InputSizeData(int32_t* NewSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_InputSizeData(int32_t* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_InputCountData(int32_t* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_InputSizeKadrs(int32_t* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_InputCountKadrs(int32_t* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_InputCountChannels(int16_t* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_InputChannels(SAFEARRAY** result) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_InputChannels(SAFEARRAY** ChTable) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetChannel(int16_t* Index, int16_t* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetKadr(SAFEARRAY** result) = 0;
    virtual HRESULT STDMETHODCALLTYPE StartRecord(VARIANT_BOOL* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE StopRecord() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_InputData(SAFEARRAY** result) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetData(int16_t* buffer, int32_t* count, int32_t* rest,
                                              int32_t* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LastError(BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE ShowSetting(VARIANT_BOOL* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Parent(IDispatch** result) = 0;
};

// Digital inputs and outputs: 16 of each, words with bit i = line i.
struct IDIO : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_DIOName(BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Detected(VARIANT_BOOL* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DIBits(uint8_t* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DOBits(uint8_t* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DIValue(int32_t* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DOValue(int32_t* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_DOValue(int32_t* lValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DOStartEnabled(VARIANT_BOOL* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_DOStartEnabled(VARIANT_BOOL* fTurn) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DOStartValue(int32_t* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_DOStartValue(int32_t* lValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DOStopEnabled(VARIANT_BOOL* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_DOStopEnabled(VARIANT_BOOL* fTurn) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DOStopValue(int32_t* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_DOStopValue(int32_t* lValue) = 0;
};

// Analog outputs: static levels in codes or volts, singly or as a block.
struct IDAO : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Resolution(uint8_t* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Detected(VARIANT_BOOL* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Busy(VARIANT_BOOL* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LastError(BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ChannelsCount(int16_t* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ChannelName(int16_t Index, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ChannelMax(int16_t Index, int32_t* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ChannelMin(int16_t Index, int32_t* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ChannelMaxReal(int16_t Index, double* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ChannelMinReal(int16_t Index, double* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_RangesCount(int16_t* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Ranges(SAFEARRAY** result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ChannelRange(int16_t Index, int16_t* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ChannelRange(int16_t Index, int16_t RangeIndex) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ChannelUnitScale(int16_t Index, double* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ChannelUnitOffset(int16_t Index, double* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ChannelUnitName(int16_t Index, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Value(int16_t Index, int32_t* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Value(int16_t Index, int32_t code) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ValueReal(int16_t Index, double* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ValueReal(int16_t Index, double ChValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetValues(int16_t ChFirst, int16_t ChCount, int32_t* ChValues,
                                                int32_t* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetValuesReal(int16_t ChFirst, int16_t ChCount, double* ChValues,
                                                    int32_t* result) = 0;
};
