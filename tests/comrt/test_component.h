// The class that the test server library serves: an adder behind a custom
// interface, used to check registration and creation through the runtime.
#pragma once

#include <velmora/com.h>

// {6B1D2F3A-4C5E-4F60-8A7B-9C0D1E2F3A4B}
inline constexpr CLSID CLSID_TestComponent = {
    0x6B1D2F3A, 0x4C5E, 0x4F60, {0x8A, 0x7B, 0x9C, 0x0D, 0x1E, 0x2F, 0x3A, 0x4B}};
// {0F9E8D7C-6B5A-4938-A7B6-C5D4E3F2A1B0}
inline constexpr IID IID_ICalculator = {
    0x0F9E8D7C, 0x6B5A, 0x4938, {0xA7, 0xB6, 0xC5, 0xD4, 0xE3, 0xF2, 0xA1, 0xB0}};

struct ICalculator : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Add(int32_t a, int32_t b, int32_t* sum) = 0;
};
