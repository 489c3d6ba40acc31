// The members of the host interfaces, one list per interface in slot order.
// interfaces.h declares the interfaces from these lists, and the driver builds
// its implementing classes and its dispatch tables from the same lists.
#pragma once

// A row is X(kind, Name, (parameters), shape):
//   kind   Get or Put: the get or let half of property Name, as get_Name and
//          put_Name; Function: method Name whose last parameter receives its
//          result; Sub: method Name without a result.
//   shape  Plain, or Boolean when the property value (a get's result, a let's
//          last parameter) or the function's result is a Boolean: in C++ a
//          VARIANT_BOOL is the int16_t of an Integer, so only the row tells.
//          Buffer(i, n): parameter i is the first element of the caller's
//          array and parameter n the number of elements the member uses.
// A row's dispatch id is its number in the list, counted from 1, except that
// a property's get and let share the number of whichever comes first.

// The C++ name of a row's member.
#define VELMORA_MEMBER_NAME(kind, name) VELMORA_MEMBER_NAME_##kind(name)
#define VELMORA_MEMBER_NAME_Get(name) get_##name
#define VELMORA_MEMBER_NAME_Put(name) put_##name
#define VELMORA_MEMBER_NAME_Function(name) name
#define VELMORA_MEMBER_NAME_Sub(name) name

// The lists keep their own layout: clang-format would read "(BSTR* result)"
// as a product.
// clang-format off

// The class's own members: each returns the object itself.
#define VELMORA_LINTARA_MEMBERS(X)                                                                           \
    X(Function, GetADC3, (IDispatch** result), Plain)                                                        \
    X(Function, GetDIO, (IDispatch** result), Plain)                                                         \
    X(Function, GetDAO, (IDispatch** result), Plain)

// Analog input.
#define VELMORA_IADC3_MEMBERS(X)                                                                             \
    X(Get, ADCName, (BSTR* result), Plain)                                                                   \
    X(Get, Resolution, (uint8_t* result), Plain)                                                             \
    X(Get, ChannelsCount, (int16_t* result), Plain)                                                          \
    X(Get, RateMax, (float* result), Plain)                                                                  \
    X(Get, Ranges, (SAFEARRAY** result), Plain)                                                              \
    X(Get, Detected, (VARIANT_BOOL* result), Boolean)                                                        \
    X(Function, Test, (VARIANT_BOOL* result), Boolean)                                                       \
    X(Get, BasePort, (int16_t* result), Plain)                                                               \
    X(Get, Busy, (VARIANT_BOOL* result), Boolean)                                                            \
    X(Get, ChannelName, (int16_t* Index, BSTR* result), Plain)                                               \
    X(Get, ChannelRange, (int16_t* Index, int16_t* result), Plain)                                           \
    X(Put, ChannelRange, (int16_t* Index, int16_t* RangeIndex), Plain)                                       \
    X(Get, ChannelUnitScale, (int16_t* Index, float* result), Plain)                                         \
    X(Get, ChannelUnitOffset, (int16_t* Index, float* result), Plain)                                        \
    X(Get, ChannelUnitName, (int16_t* Index, BSTR* result), Plain)                                           \
    X(Get, Rate, (float* result), Plain)                                                                     \
    X(Put, Rate, (float* sRate), Plain)                                                                      \
    X(Put, InputSizeData, (int32_t* NewSize), Plain)                                                         \
    X(Get, InputSizeData, (int32_t* result), Plain)                                                          \
    X(Get, InputCountData, (int32_t* result), Plain)                                                         \
    X(Get, InputSizeKadrs, (int32_t* result), Plain)                                                         \
    X(Get, InputCountKadrs, (int32_t* result), Plain)                                                        \
    X(Get, InputCountChannels, (int16_t* result), Plain)                                                     \
    X(Get, InputChannels, (SAFEARRAY** result), Plain)                                                       \
    X(Put, InputChannels, (SAFEARRAY** ChTable), Plain)                                                      \
    X(Function, GetChannel, (int16_t* Index, int16_t* result), Plain)                                        \
    X(Function, GetKadr, (SAFEARRAY** result), Plain)                                                        \
    X(Function, StartRecord, (VARIANT_BOOL* result), Boolean)                                                \
    X(Sub, StopRecord, (), Plain)                                                                            \
    X(Get, InputData, (SAFEARRAY** result), Plain)                                                           \
    X(Function, GetData, (int16_t* buffer, int32_t* count, int32_t* rest, int32_t* result), Buffer(0, 1))    \
    X(Get, LastError, (BSTR* result), Plain)                                                                 \
    X(Function, ShowSetting, (VARIANT_BOOL* result), Boolean)                                                \
    X(Get, Parent, (IDispatch** result), Plain)

// Digital I/O.
#define VELMORA_IDIO_MEMBERS(X)                                                                              \
    X(Get, DIOName, (BSTR* result), Plain)                                                                   \
    X(Get, Detected, (VARIANT_BOOL* result), Boolean)                                                        \
    X(Get, DIBits, (uint8_t* result), Plain)                                                                 \
    X(Get, DOBits, (uint8_t* result), Plain)                                                                 \
    X(Get, DIValue, (int32_t* result), Plain)                                                                \
    X(Get, DOValue, (int32_t* result), Plain)                                                                \
    X(Put, DOValue, (int32_t* lValue), Plain)                                                                \
    X(Get, DOStartEnabled, (VARIANT_BOOL* result), Boolean)                                                  \
    X(Put, DOStartEnabled, (VARIANT_BOOL* fTurn), Boolean)                                                   \
    X(Get, DOStartValue, (int32_t* result), Plain)                                                           \
    X(Put, DOStartValue, (int32_t* lValue), Plain)                                                           \
    X(Get, DOStopEnabled, (VARIANT_BOOL* result), Boolean)                                                   \
    X(Put, DOStopEnabled, (VARIANT_BOOL* fTurn), Boolean)                                                    \
    X(Get, DOStopValue, (int32_t* result), Plain)                                                            \
    X(Put, DOStopValue, (int32_t* lValue), Plain)

// Analog output.
#define VELMORA_IDAO_MEMBERS(X)                                                                              \
    X(Get, Name, (BSTR* result), Plain)                                                                      \
    X(Get, Resolution, (uint8_t* result), Plain)                                                             \
    X(Get, Detected, (VARIANT_BOOL* result), Boolean)                                                        \
    X(Get, Busy, (VARIANT_BOOL* result), Boolean)                                                            \
    X(Get, LastError, (BSTR* result), Plain)                                                                 \
    X(Get, ChannelsCount, (int16_t* result), Plain)                                                          \
    X(Get, ChannelName, (int16_t Index, BSTR* result), Plain)                                                \
    X(Get, ChannelMax, (int16_t Index, int32_t* result), Plain)                                              \
    X(Get, ChannelMin, (int16_t Index, int32_t* result), Plain)                                              \
    X(Get, ChannelMaxReal, (int16_t Index, double* result), Plain)                                           \
    X(Get, ChannelMinReal, (int16_t Index, double* result), Plain)                                           \
    X(Get, RangesCount, (int16_t* result), Plain)                                                            \
    X(Get, Ranges, (SAFEARRAY** result), Plain)                                                              \
    X(Get, ChannelRange, (int16_t Index, int16_t* result), Plain)                                            \
    X(Put, ChannelRange, (int16_t Index, int16_t RangeIndex), Plain)                                         \
    X(Get, ChannelUnitScale, (int16_t Index, double* result), Plain)                                         \
    X(Get, ChannelUnitOffset, (int16_t Index, double* result), Plain)                                        \
    X(Get, ChannelUnitName, (int16_t Index, BSTR* result), Plain)                                            \
    X(Get, Value, (int16_t Index, int32_t* result), Plain)                                                   \
    X(Put, Value, (int16_t Index, int32_t code), Plain)                                                      \
    X(Get, ValueReal, (int16_t Index, double* result), Plain)                                                \
    X(Put, ValueReal, (int16_t Index, double ChValue), Plain)                                                \
    X(Function, SetValues, (int16_t ChFirst, int16_t ChCount, int32_t* ChValues, int32_t* result),           \
      Buffer(2, 1))                                                                                          \
    X(Function, SetValuesReal, (int16_t ChFirst, int16_t ChCount, double* ChValues, int32_t* result),        \
      Buffer(2, 1))

// What a host may ask beyond the three interfaces: the module to open (or the
// user's choice from the driver's chooser), its identity, the recording's
// counters, end and exact rate, the settings' save, and the setup dialog
// with its outcome. New members go at
// the end: a host built before them keeps its slots.
#define VELMORA_IMODULE_MEMBERS(X)                                                                           \
    X(Get, Address, (BSTR* result), Plain)                                                                   \
    X(Put, Address, (BSTR Address), Plain)                                                                   \
    X(Get, SerialNumber, (BSTR* result), Plain)                                                              \
    X(Get, ModuleName, (BSTR* result), Plain)                                                                \
    X(Get, Backend, (BSTR* result), Plain)                                                                   \
    X(Get, Connected, (VARIANT_BOOL* result), Boolean)                                                       \
    X(Get, KadrsReceived, (double* result), Plain)                                                           \
    X(Get, StartTime, (double* result), Plain)                                                               \
    X(Get, EndReason, (BSTR* result), Plain)                                                                 \
    X(Function, SaveSettings, (VARIANT_BOOL* result), Boolean)                                               \
    X(Sub, Close, (), Plain)                                                                                 \
    X(Function, ChooseAddress, (BSTR* result), Plain)                                                        \
    X(Get, KadrRate, (double* result), Plain)                                                                \
    X(Function, ShowSetup, (int32_t* result), Plain)

// clang-format on
