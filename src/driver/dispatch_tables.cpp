// The member tables of the four interfaces, in slot order. The DISPID of a
// member is its row number in the interface's member table; a property's get
// and let share the row of whichever half comes first.
#include "driver/dispatch.h"

namespace velmora::driver::dispatch {
namespace {

constexpr Shape kBoolean{.boolean = true};
constexpr Shape kBuffer0{.buffer = 0};
constexpr Shape kBuffer2{.buffer = 2};

#define VELMORA_ROW(I, prefix, kind, name, id, ...)                                                          \
    Row<&I::prefix##name, Kind::kind __VA_OPT__(, ) __VA_ARGS__>(u"" #name, id)
#define GET(I, name, id, ...) VELMORA_ROW(I, get_, Get, name, id __VA_OPT__(, ) __VA_ARGS__)
#define PUT(I, name, id, ...) VELMORA_ROW(I, put_, Put, name, id __VA_OPT__(, ) __VA_ARGS__)
#define FUNCTION(I, name, id, ...) VELMORA_ROW(I, , Function, name, id __VA_OPT__(, ) __VA_ARGS__)
#define SUB(I, name, id) VELMORA_ROW(I, , Sub, name, id)

constexpr Member kLintara[] = {
    FUNCTION(_Lintara, GetADC3, 1),
    FUNCTION(_Lintara, GetDIO, 2),
    FUNCTION(_Lintara, GetDAO, 3),
};

constexpr Member kAdc3[] = {
    GET(IADC3, ADCName, 1),
    GET(IADC3, Resolution, 2),
    GET(IADC3, ChannelsCount, 3),
    GET(IADC3, RateMax, 4),
    GET(IADC3, Ranges, 5),
    GET(IADC3, Detected, 6, kBoolean),
    FUNCTION(IADC3, Test, 7, kBoolean),
    GET(IADC3, BasePort, 8),
    GET(IADC3, Busy, 9, kBoolean),
    GET(IADC3, ChannelName, 10),
    GET(IADC3, ChannelRange, 11),
    PUT(IADC3, ChannelRange, 11),
    GET(IADC3, ChannelUnitScale, 13),
    GET(IADC3, ChannelUnitOffset, 14),
    GET(IADC3, ChannelUnitName, 15),
    GET(IADC3, Rate, 16),
    PUT(IADC3, Rate, 16),
    PUT(IADC3, InputSizeData, 18),
    GET(IADC3, InputSizeData, 18),
    GET(IADC3, InputCountData, 20),
    GET(IADC3, InputSizeKadrs, 21),
    GET(IADC3, InputCountKadrs, 22),
    GET(IADC3, InputCountChannels, 23),
    GET(IADC3, InputChannels, 24),
    PUT(IADC3, InputChannels, 24),
    FUNCTION(IADC3, GetChannel, 26),
    FUNCTION(IADC3, GetKadr, 27),
    FUNCTION(IADC3, StartRecord, 28, kBoolean),
    SUB(IADC3, StopRecord, 29),
    GET(IADC3, InputData, 30),
    FUNCTION(IADC3, GetData, 31, kBuffer0),
    GET(IADC3, LastError, 32),
    FUNCTION(IADC3, ShowSetting, 33, kBoolean),
    GET(IADC3, Parent, 34),
};

constexpr Member kDio[] = {
    GET(IDIO, DIOName, 1),
    GET(IDIO, Detected, 2, kBoolean),
    GET(IDIO, DIBits, 3),
    GET(IDIO, DOBits, 4),
    GET(IDIO, DIValue, 5),
    GET(IDIO, DOValue, 6),
    PUT(IDIO, DOValue, 6),
    GET(IDIO, DOStartEnabled, 8, kBoolean),
    PUT(IDIO, DOStartEnabled, 8, kBoolean),
    GET(IDIO, DOStartValue, 10),
    PUT(IDIO, DOStartValue, 10),
    GET(IDIO, DOStopEnabled, 12, kBoolean),
    PUT(IDIO, DOStopEnabled, 12, kBoolean),
    GET(IDIO, DOStopValue, 14),
    PUT(IDIO, DOStopValue, 14),
};

constexpr Member kDao[] = {
    GET(IDAO, Name, 1),
    GET(IDAO, Resolution, 2),
    GET(IDAO, Detected, 3, kBoolean),
    GET(IDAO, Busy, 4, kBoolean),
    GET(IDAO, LastError, 5),
    GET(IDAO, ChannelsCount, 6),
    GET(IDAO, ChannelName, 7),
    GET(IDAO, ChannelMax, 8),
    GET(IDAO, ChannelMin, 9),
    GET(IDAO, ChannelMaxReal, 10),
    GET(IDAO, ChannelMinReal, 11),
    GET(IDAO, RangesCount, 12),
    GET(IDAO, Ranges, 13),
    GET(IDAO, ChannelRange, 14),
    PUT(IDAO, ChannelRange, 14),
    GET(IDAO, ChannelUnitScale, 16),
    GET(IDAO, ChannelUnitOffset, 17),
    GET(IDAO, ChannelUnitName, 18),
    GET(IDAO, Value, 19),
    PUT(IDAO, Value, 19),
    GET(IDAO, ValueReal, 21),
    PUT(IDAO, ValueReal, 21),
    FUNCTION(IDAO, SetValues, 23, kBuffer2),
    FUNCTION(IDAO, SetValuesReal, 24, kBuffer2),
};

#undef GET
#undef PUT
#undef FUNCTION
#undef SUB
#undef VELMORA_ROW

} // namespace

MemberTable LintaraMembers() {
    return kLintara;
}

MemberTable Adc3Members() {
    return kAdc3;
}

MemberTable DioMembers() {
    return kDio;
}

MemberTable DaoMembers() {
    return kDao;
}

} // namespace velmora::driver::dispatch
