// Every member of _Lintara, IADC3, IDIO, IDAO and IModule through IDispatch, against a
// table of the members as hosts know them: DISPID, result type, argument
// count, the let values each takes, buffers held to the caller's array, and
// no other DISPID answering.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "dispatch_args.h"
#include "driver_objects.h"

namespace velmora::test {
namespace {

enum Kind { Get, Let, Function, Sub };

// Types by letter: s String, b Byte, i Integer, l Long, f Single, d Double,
// ? Boolean, o Object, - nothing; in capitals an array of the type; # any other.
constexpr std::string_view kLetters = "sbilfd?o-SILD#";
// clang-format off
constexpr VARTYPE kTypes[] = {VT_BSTR, VT_UI1, VT_I2, VT_I4, VT_R4, VT_R8, VT_BOOL, VT_DISPATCH, VT_EMPTY,
    VT_ARRAY | VT_BSTR, VT_ARRAY | VT_I2, VT_ARRAY | VT_I4, VT_ARRAY | VT_R8, VT_ILLEGAL};
// clang-format on

VARTYPE TypeOf(char letter) {
    return kTypes[std::min(kLetters.find(letter), kLetters.size() - 1)];
}
char LetterOf(VARTYPE vt) {
    return kLetters[std::find(std::begin(kTypes), std::end(kTypes) - 1, vt) - std::begin(kTypes)];
}

struct Row {
    const char16_t* name;
    Kind kind;
    DISPID id;
    char value;       // a get's or function's result, a let's value
    const char* args; // the arguments before the value; an array is the caller's buffer
};

// clang-format off
const Row kLintara[] = {
    {u"GetADC3", Function, 1, 'o', ""}, {u"GetDIO", Function, 2, 'o', ""}, {u"GetDAO", Function, 3, 'o', ""}
};
const Row kAdc3[] = {
    {u"ADCName", Get, 1, 's', ""}, {u"Resolution", Get, 2, 'b', ""}, {u"ChannelsCount", Get, 3, 'i', ""},
    {u"RateMax", Get, 4, 'f', ""}, {u"Ranges", Get, 5, 'S', ""}, {u"Detected", Get, 6, '?', ""},
    {u"Test", Function, 7, '?', ""}, {u"BasePort", Get, 8, 'i', ""}, {u"Busy", Get, 9, '?', ""},
    {u"ChannelName", Get, 10, 's', "i"}, {u"ChannelRange", Get, 11, 'i', "i"},
    {u"ChannelRange", Let, 11, 'i', "i"}, {u"ChannelUnitScale", Get, 13, 'f', "i"},
    {u"ChannelUnitOffset", Get, 14, 'f', "i"}, {u"ChannelUnitName", Get, 15, 's', "i"},
    {u"Rate", Get, 16, 'f', ""}, {u"Rate", Let, 16, 'f', ""}, {u"InputSizeData", Let, 18, 'l', ""},
    {u"InputSizeData", Get, 18, 'l', ""}, {u"InputCountData", Get, 20, 'l', ""},
    {u"InputSizeKadrs", Get, 21, 'l', ""}, {u"InputCountKadrs", Get, 22, 'l', ""},
    {u"InputCountChannels", Get, 23, 'i', ""}, {u"InputChannels", Get, 24, 'I', ""},
    {u"InputChannels", Let, 24, 'I', ""}, {u"GetChannel", Function, 26, 'i', "i"},
    {u"GetKadr", Function, 27, 'I', ""}, {u"StartRecord", Function, 28, '?', ""},
    {u"StopRecord", Sub, 29, '-', ""}, {u"InputData", Get, 30, 'I', ""},
    {u"GetData", Function, 31, 'l', "Ill"}, {u"LastError", Get, 32, 's', ""},
    {u"ShowSetting", Function, 33, '?', ""}, {u"Parent", Get, 34, 'o', ""}
};
const Row kDio[] = {
    {u"DIOName", Get, 1, 's', ""}, {u"Detected", Get, 2, '?', ""}, {u"DIBits", Get, 3, 'b', ""},
    {u"DOBits", Get, 4, 'b', ""}, {u"DIValue", Get, 5, 'l', ""}, {u"DOValue", Get, 6, 'l', ""},
    {u"DOValue", Let, 6, 'l', ""}, {u"DOStartEnabled", Get, 8, '?', ""}, {u"DOStartEnabled", Let, 8, '?', ""},
    {u"DOStartValue", Get, 10, 'l', ""}, {u"DOStartValue", Let, 10, 'l', ""},
    {u"DOStopEnabled", Get, 12, '?', ""}, {u"DOStopEnabled", Let, 12, '?', ""},
    {u"DOStopValue", Get, 14, 'l', ""}, {u"DOStopValue", Let, 14, 'l', ""}
};
const Row kDao[] = {
    {u"Name", Get, 1, 's', ""}, {u"Resolution", Get, 2, 'b', ""}, {u"Detected", Get, 3, '?', ""},
    {u"Busy", Get, 4, '?', ""}, {u"LastError", Get, 5, 's', ""}, {u"ChannelsCount", Get, 6, 'i', ""},
    {u"ChannelName", Get, 7, 's', "i"}, {u"ChannelMax", Get, 8, 'l', "i"}, {u"ChannelMin", Get, 9, 'l', "i"},
    {u"ChannelMaxReal", Get, 10, 'd', "i"}, {u"ChannelMinReal", Get, 11, 'd', "i"},
    {u"RangesCount", Get, 12, 'i', ""}, {u"Ranges", Get, 13, 'S', ""}, {u"ChannelRange", Get, 14, 'i', "i"},
    {u"ChannelRange", Let, 14, 'i', "i"}, {u"ChannelUnitScale", Get, 16, 'd', "i"},
    {u"ChannelUnitOffset", Get, 17, 'd', "i"}, {u"ChannelUnitName", Get, 18, 's', "i"},
    {u"Value", Get, 19, 'l', "i"}, {u"Value", Let, 19, 'l', "i"}, {u"ValueReal", Get, 21, 'd', "i"},
    {u"ValueReal", Let, 21, 'd', "i"}, {u"SetValues", Function, 23, 'l', "iiL"},
    {u"SetValuesReal", Function, 24, 'l', "iiD"}
};
const Row kModule[] = {
    {u"Address", Get, 1, 's', ""}, {u"Address", Let, 1, 's', ""}, {u"SerialNumber", Get, 3, 's', ""},
    {u"ModuleName", Get, 4, 's', ""}, {u"Backend", Get, 5, 's', ""}, {u"Connected", Get, 6, '?', ""},
    {u"KadrsReceived", Get, 7, 'd', ""}, {u"StartTime", Get, 8, 'd', ""}, {u"EndReason", Get, 9, 's', ""},
    {u"SaveSettings", Function, 10, '?', ""}, {u"Close", Sub, 11, '-', ""},
    {u"ChooseAddress", Function, 12, 's', ""}, {u"KadrRate", Get, 13, 'd', ""},
    {u"ShowSetup", Function, 14, 'l', ""}
};
// clang-format on

// An argument of type vt holding 1 (true for a Boolean); an array type gets a
// vector of one such element.
VARIANT One(VARTYPE vt) {
    VARIANT v;
    VariantInit(&v);
    if ((vt & VT_ARRAY) == 0) {
        VARIANT one = Arg(VT_I4, int32_t{1});
        EXPECT_EQ(VariantChangeType(&v, &one, 0, vt), S_OK) << vt;
        return v;
    }
    VARIANT element = One(vt & ~VT_ARRAY);
    LONG first = 0;
    v = Arg(vt, SafeArrayCreateVector(vt & ~VT_ARRAY, 0, 1));
    SafeArrayPutElement(v.parray, &first, &element.llVal);
    VariantClear(&element);
    return v;
}

struct Outcome {
    HRESULT hr;
    VARTYPE result;
    IDispatch* object;   // an Object result
    VARIANT_BOOL flag;   // a Boolean result
    size_t refused;      // natural position of the argument refused
    bool cleared = true; // every argument could be cleared: no array left locked
};

// Invoke with the arguments in natural order, which it then clears.
Outcome Call(IDispatch* target, DISPID id, WORD flags, std::vector<VARIANT> args) {
    VARIANT result;
    VariantInit(&result);
    UINT argErr = UINT_MAX;
    const HRESULT hr = InvokeNatural(target, id, flags, args, &result, &argErr);
    Outcome out{hr, result.vt, nullptr, VARIANT_FALSE,
                argErr < args.size() ? args.size() - 1 - argErr : SIZE_MAX};
    if (result.vt == VT_DISPATCH) out.object = result.pdispVal;
    if (result.vt == VT_BOOL) out.flag = result.boolVal;
    VariantClear(&result);
    for (VARIANT& arg : args) out.cleared = VariantClear(&arg) == S_OK && out.cleared;
    return out;
}

// `object` is the driver object, which every Object result is.
void Walk(IDispatch* target, const char* interface, std::span<const Row> rows, IDispatch* object) {
    for (const Row& row : rows) {
        static const char* const kinds[] = {"get", "let", "function", "sub"};
        static const WORD kFlags[] = {DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT, DISPATCH_METHOD,
                                      DISPATCH_METHOD};
        SCOPED_TRACE(std::string(interface) + "." +
                     std::string(row.name, row.name + std::char_traits<char16_t>::length(row.name)) + " " +
                     kinds[row.kind]);
        EXPECT_EQ(DispIdOf(target, row.name), row.id) << "DISPID";
        // Arguments of their own types, then `value`.
        const size_t count = std::strlen(row.args);
        auto call = [&](std::vector<VARIANT> value, size_t given = SIZE_MAX, WORD as = 0) {
            std::vector<VARIANT> args;
            for (size_t i = 0; i < std::min(count, given); ++i) args.push_back(One(TypeOf(row.args[i])));
            args.insert(args.end(), value.begin(), value.end());
            return Call(target, row.id, as != 0 ? as : kFlags[row.kind], std::move(args));
        };
        // A let takes a value and answers nothing.
        const Outcome ordinary = row.kind == Let ? call({One(TypeOf(row.value))}) : call({});
        EXPECT_EQ(ordinary.hr, S_OK) << "argument " << ordinary.refused << " refused";
        EXPECT_EQ(LetterOf(ordinary.result), row.kind == Let ? '-' : row.value) << "result type";
        EXPECT_TRUE(row.value != 'o' || ordinary.object == object) << "another object";
        if (row.kind != Let) {
            EXPECT_TRUE(count == 0 || call({}, count - 1).hr == DISP_E_BADPARAMCOUNT) << "one argument short";
            continue;
        }
        EXPECT_EQ(call({Arg(VT_BSTR, SysAllocString(u"True"))}).hr,
                  row.value == '?' || row.value == 's' ? S_OK : DISP_E_TYPEMISMATCH)
            << "\"True\" as the value";
        if (row.value == 'i') {
            const Outcome big = call({Arg(VT_I4, int32_t{40000})});
            EXPECT_EQ(std::pair(big.hr, big.refused), std::pair(DISP_E_OVERFLOW, count))
                << "40000 as an Integer, the value refused as what does not fit";
        }
        if (row.value == '?') {
            for (const int16_t value : {0, 5}) {
                call({Arg(VT_I2, value)});
                EXPECT_EQ(call({}, SIZE_MAX, DISPATCH_PROPERTYGET).flag,
                          value != 0 ? VARIANT_TRUE : VARIANT_FALSE)
                    << "read back after a let of " << value;
            }
        }
    }

    EXPECT_EQ(DispIdOf(target, u"NoSuchMember"), DISPID_UNKNOWN);
    // Every other DISPID, up to one past the last row, answers nothing.
    for (DISPID id = 0; id <= static_cast<DISPID>(rows.size()) + 1; ++id) {
        for (const bool put : {false, true}) {
            if (std::any_of(rows.begin(), rows.end(),
                            [&](const Row& row) { return row.id == id && (row.kind == Let) == put; }))
                continue;
            const Outcome none = put ? Call(target, id, DISPATCH_PROPERTYPUT, {One(VT_I4)})
                                     : Call(target, id, DISPATCH_PROPERTYGET | DISPATCH_METHOD, {});
            EXPECT_EQ(none.hr, DISP_E_MEMBERNOTFOUND)
                << interface << " DISPID " << id << " answers a " << (put ? "let" : "get or call");
        }
    }
}

using InterfaceTable = DetectedObjects;

TEST_F(InterfaceTable, EveryMemberOfEveryInterface) {
    Walk(lintara_.get(), "_Lintara", kLintara, lintara_.get());
    Walk(adc_.get(), "IADC3", kAdc3, lintara_.get());
    Walk(dio_.get(), "IDIO", kDio, lintara_.get());
    Walk(dao_.get(), "IDAO", kDao, lintara_.get());
    Walk(module_.get(), "IModule", kModule, lintara_.get());
}

// A script host lends its arrays through Invoke: a count beyond an array is
// held to its end, never read or written past it, and an empty array, having
// no first element to lend, is refused and left unlocked for the host to free.
TEST_F(InterfaceTable, BuffersAreHeldToTheCallersArray) {
    ASSERT_TRUE(Record({0, 1}, 20000.0f)) << LastError();
    Eventually([&] { return Unread() >= 100; });
    int32_t count = 6000, rest = 0;
    auto getData = [&](SAFEARRAY* buffer) {
        return Call(
            adc_.get(), 31, DISPATCH_METHOD,
            {Arg(VT_ARRAY | VT_I2, buffer), Arg(VT_BYREF | VT_I4, &count), Arg(VT_BYREF | VT_I4, &rest)});
    };
    EXPECT_EQ(getData(SafeArrayCreateVector(VT_I2, 0, 11)).hr, S_OK); // room for five kadrs and a sample
    EXPECT_EQ(count, 10) << "whole kadrs within the array's eleven elements";
    adc_->StopRecord();
    count = 4;
    const Outcome empty = getData(SafeArrayCreateVector(VT_I2, 0, 0));
    EXPECT_EQ(std::pair(empty.hr, empty.cleared), std::pair(DISP_E_TYPEMISMATCH, true))
        << "an empty array, refused and left unlocked";

    SAFEARRAY* levels = SafeArrayCreateVector(VT_I4, 0, 1);
    static_cast<int32_t*>(levels->pvData)[0] = 6400;
    const int64_t writes = e16sim_call_count("X502_AsyncOutDac");
    const Outcome set = Call(dao_.get(), 23, DISPATCH_METHOD,
                             {Arg(VT_I2, int16_t{0}), Arg(VT_I2, int16_t{2}), Arg(VT_ARRAY | VT_I4, levels)});
    EXPECT_EQ(std::tuple(set.hr, ModuleDacLevel(0), e16sim_call_count("X502_AsyncOutDac")),
              std::tuple(S_OK, 2.0, writes + 1))
        << "SetValues writes the one value given, on one channel, not two";
}

} // namespace
} // namespace velmora::test
