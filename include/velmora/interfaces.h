// The driver's host interfaces: _Lintara, IADC3 (analog input), IDIO (digital
// I/O) and IDAO (analog output) as dual interfaces, with their identifiers
// and the class's ProgID. The members come from interface_members.h.
#pragma once

#include <velmora/com.h>
#include <velmora/interface_members.h>

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

// Each member is a pure virtual of its interface's list, in list order.
#define VELMORA_PURE_MEMBER(kind, name, params, shape)                                                       \
    virtual HRESULT STDMETHODCALLTYPE VELMORA_MEMBER_NAME(kind, name) params = 0;

// The class's own members: each returns the object itself.
struct _Lintara : public IDispatch {
    VELMORA_LINTARA_MEMBERS(VELMORA_PURE_MEMBER)
};

// Analog input. A kadr is one sample of every selected channel; samples are
// signed 16-bit codes, code / ChannelUnitScale volts.
//
// Buffers. GetData(buffer, count, rest) writes whole kadrs into the caller's
// buffer; IDAO's SetValues and SetValuesReal read ChCount values from theirs.
// Called through the vtable (or through Invoke with a bare by-reference
// element), the buffer must hold at least `count` (ChCount) elements: the
// driver cannot see its end. Through Invoke with an array, the count is held
// to the elements from the array's first one to its end.
struct IADC3 : public IDispatch {
    VELMORA_IADC3_MEMBERS(VELMORA_PURE_MEMBER)
};

// Digital inputs and outputs: 16 of each, words with bit i = line i.
struct IDIO : public IDispatch {
    VELMORA_IDIO_MEMBERS(VELMORA_PURE_MEMBER)
};

// Analog outputs: static levels in codes or volts, singly or as a block.
struct IDAO : public IDispatch {
    VELMORA_IDAO_MEMBERS(VELMORA_PURE_MEMBER)
};

#undef VELMORA_PURE_MEMBER
