// Every member of _Lintara, IADC3, IDIO and IDAO reached through IDispatch on a
// driver object, against a table of the members as the hosts know them: the
// name gives its DISPID, a call with ordinary arguments returns the value type
// (Boolean, not Integer), only a Boolean let reads "True", a first-element
// buffer takes the caller's array, and no other DISPID answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "driver_objects.h"

namespace velmora::test {
namespace {

enum Kind { Get, Let, Function, Sub };

constexpr VARTYPE Str = VT_BSTR, Byte = VT_UI1, Int = VT_I2, Long = VT_I4, Single = VT_R4, Double = VT_R8,
                  Bool = VT_BOOL, Object = VT_DISPATCH, Strs = VT_ARRAY | VT_BSTR, Ints = VT_ARRAY | VT_I2,
                  None = VT_EMPTY;

struct Row {
    Row(const char16_t* name, Kind kind, DISPID id, VARTYPE value, std::vector<VARTYPE> args = {},
        int buffer = -1)
        : name(name), kind(kind), id(id), value(value), args(std::move(args)), buffer(buffer) {}

    const char16_t* name;
    Kind kind;
    DISPID id;
    VARTYPE value;             // a get's or function's result, a let's value
    std::vector<VARTYPE> args; // the arguments before the value
    int buffer;                // argument that is the first element of the caller's array, or -1
};

const Row kLintara[] = {
    {u"GetADC3", Function, 1, Object},
    {u"GetDIO", Function, 2, Object},
    {u"GetDAO", Function, 3, Object},
};

const Row kAdc3[] = {
    {u"ADCName", Get, 1, Str},
    {u"Resolution", Get, 2, Byte},
    {u"ChannelsCount", Get, 3, Int},
    {u"RateMax", Get, 4, Single},
    {u"Ranges", Get, 5, Strs},
    {u"Detected", Get, 6, Bool},
    {u"Test", Function, 7, Bool},
    {u"BasePort", Get, 8, Int},
    {u"Busy", Get, 9, Bool},
    {u"ChannelName", Get, 10, Str, {Int}},
    {u"ChannelRange", Get, 11, Int, {Int}},
    {u"ChannelRange", Let, 11, Int, {Int}},
    {u"ChannelUnitScale", Get, 13, Single, {Int}},
    {u"ChannelUnitOffset", Get, 14, Single, {Int}},
    {u"ChannelUnitName", Get, 15, Str, {Int}},
    {u"Rate", Get, 16, Single},
    {u"Rate", Let, 16, Single},
    {u"InputSizeData", Let, 18, Long},
    {u"InputSizeData", Get, 18, Long},
    {u"InputCountData", Get, 20, Long},
    {u"InputSizeKadrs", Get, 21, Long},
    {u"InputCountKadrs", Get, 22, Long},
    {u"InputCountChannels", Get, 23, Int},
    {u"InputChannels", Get, 24, Ints},
    {u"InputChannels", Let, 24, Ints},
    {u"GetChannel", Function, 26, Int, {Int}},
    {u"GetKadr", Function, 27, Ints},
    {u"StartRecord", Function, 28, Bool},
    {u"StopRecord", Sub, 29, None},
    {u"InputData", Get, 30, Ints},
    {u"GetData", Function, 31, Long, {Int, Long, Long}, 0},
    {u"LastError", Get, 32, Str},
    {u"ShowSetting", Function, 33, Bool},
    {u"Parent", Get, 34, Object},
};

const Row kDio[] = {
    {u"DIOName", Get, 1, Str},         {u"Detected", Get, 2, Bool},       {u"DIBits", Get, 3, Byte},
    {u"DOBits", Get, 4, Byte},         {u"DIValue", Get, 5, Long},        {u"DOValue", Get, 6, Long},
    {u"DOValue", Let, 6, Long},        {u"DOStartEnabled", Get, 8, Bool}, {u"DOStartEnabled", Let, 8, Bool},
    {u"DOStartValue", Get, 10, Long},  {u"DOStartValue", Let, 10, Long},  {u"DOStopEnabled", Get, 12, Bool},
    {u"DOStopEnabled", Let, 12, Bool}, {u"DOStopValue", Get, 14, Long},   {u"DOStopValue", Let, 14, Long},
};

const Row kDao[] = {
    {u"Name", Get, 1, Str},
    {u"Resolution", Get, 2, Byte},
    {u"Detected", Get, 3, Bool},
    {u"Busy", Get, 4, Bool},
    {u"LastError", Get, 5, Str},
    {u"ChannelsCount", Get, 6, Int},
    {u"ChannelName", Get, 7, Str, {Int}},
    {u"ChannelMax", Get, 8, Long, {Int}},
    {u"ChannelMin", Get, 9, Long, {Int}},
    {u"ChannelMaxReal", Get, 10, Double, {Int}},
    {u"ChannelMinReal", Get, 11, Double, {Int}},
    {u"RangesCount", Get, 12, Int},
    {u"Ranges", Get, 13, Strs},
    {u"ChannelRange", Get, 14, Int, {Int}},
    {u"ChannelRange", Let, 14, Int, {Int}},
    {u"ChannelUnitScale", Get, 16, Double, {Int}},
    {u"ChannelUnitOffset", Get, 17, Double, {Int}},
    {u"ChannelUnitName", Get, 18, Str, {Int}},
    {u"Value", Get, 19, Long, {Int}},
    {u"Value", Let, 19, Long, {Int}},
    {u"ValueReal", Get, 21, Double, {Int}},
    {u"ValueReal", Let, 21, Double, {Int}},
    {u"SetValues", Function, 23, Long, {Int, Int, Long}, 2},
    {u"SetValuesReal", Function, 24, Long, {Int, Int, Double}, 2},
};

std::string TypeName(VARTYPE vt) {
    static const std::pair<VARTYPE, const char*> names[] = {
        {None, "nothing"},  {Str, "String"},    {Byte, "Byte"},    {Int, "Integer"},  {Long, "Long"},
        {Single, "Single"}, {Double, "Double"}, {Bool, "Boolean"}, {Object, "Object"}};
    if ((vt & VT_ARRAY) != 0) return "array of " + TypeName(vt & ~VT_ARRAY);
    for (const auto& [type, name] : names) {
        if (type == vt) return name;
    }
    return "type " + std::to_string(vt);
}

// An argument of type vt holding 1 (true for a Boolean); an array type gets a
// vector of one such element.
VARIANT One(VARTYPE vt) {
    VARIANT one, v;
    VariantInit(&one);
    VariantInit(&v);
    one.vt = VT_I4;
    one.lVal = 1;
    if ((vt & VT_ARRAY) == 0) {
        EXPECT_EQ(VariantChangeType(&v, &one, 0, vt), S_OK) << TypeName(vt);
        return v;
    }
    VARIANT element = One(vt & ~VT_ARRAY);
    LONG first = 0;
    v.vt = vt;
    v.parray = SafeArrayCreateVector(vt & ~VT_ARRAY, 0, 1);
    SafeArrayPutElement(v.parray, &first, &element.llVal);
    return v;
}

struct Outcome {
    HRESULT hr;
    VARTYPE result;
    size_t refused; // natural position of the argument refused
};

// Invoke with the arguments in natural order, which it then clears; a let
// names its value.
Outcome Call(IDispatch* target, DISPID id, WORD flags, std::vector<VARIANT> args) {
    std::reverse(args.begin(), args.end());
    DISPID named = DISPID_PROPERTYPUT;
    const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
    DISPPARAMS params{args.data(), put ? &named : nullptr, static_cast<UINT>(args.size()), put ? 1u : 0u};
    VARIANT result;
    VariantInit(&result);
    UINT argErr = UINT_MAX;
    const HRESULT hr = target->Invoke(id, IID_NULL, 0, flags, &params, &result, nullptr, &argErr);
    const Outcome outcome{hr, result.vt, argErr < args.size() ? args.size() - 1 - argErr : SIZE_MAX};
    VariantClear(&result);
    for (VARIANT& arg : args) VariantClear(&arg);
    return outcome;
}

WORD FlagsOf(Kind kind) {
    switch (kind) {
    case Get:
        return DISPATCH_PROPERTYGET;
    case Let:
        return DISPATCH_PROPERTYPUT;
    default:
        return DISPATCH_METHOD;
    }
}

std::string Refused(const Outcome& call, const Row& row) {
    if (call.refused == SIZE_MAX) return "";
    return ": argument " + std::to_string(call.refused) + " refused" +
           (static_cast<int>(call.refused) == row.buffer ? ", the buffer" : "");
}

std::string Label(const char* interface, const Row& row) {
    static const char* const kinds[] = {"get", "let", "function", "sub"};
    return std::string(interface) + "." +
           std::string(row.name, row.name + std::char_traits<char16_t>::length(row.name)) + " " +
           kinds[row.kind];
}

void Walk(IDispatch* target, const char* interface, std::span<const Row> rows) {
    for (const Row& row : rows) {
        SCOPED_TRACE(Label(interface, row));
        std::u16string name = row.name;
        LPOLESTR names[] = {name.data()};
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(target->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK) << "name";
        EXPECT_EQ(id, row.id) << "DISPID";

        // Arguments of their own types, a buffer as the caller's array.
        auto arguments = [&] {
            std::vector<VARIANT> args;
            for (size_t i = 0; i < row.args.size(); ++i) {
                args.push_back(One(static_cast<int>(i) == row.buffer ? VT_ARRAY | row.args[i] : row.args[i]));
            }
            return args;
        };
        std::vector<VARIANT> args = arguments();
        if (row.kind == Let) args.push_back(One(row.value));
        const Outcome call = Call(target, row.id, FlagsOf(row.kind), std::move(args));
        EXPECT_EQ(call.hr, S_OK) << "call" << Refused(call, row);
        EXPECT_EQ(TypeName(call.result), TypeName(row.kind == Let ? None : row.value)) << "result type";

        // Text reads as a Boolean and as no number.
        if (row.kind == Let) {
            args = arguments();
            VARIANT text;
            VariantInit(&text);
            text.vt = VT_BSTR;
            text.bstrVal = SysAllocString(u"True");
            args.push_back(text);
            EXPECT_EQ(Call(target, row.id, DISPATCH_PROPERTYPUT, std::move(args)).hr,
                      row.value == Bool ? S_OK : DISP_E_TYPEMISMATCH)
                << "Boolean value: " << (row.value == Bool ? "\"True\" refused" : "\"True\" taken");
        }
    }

    // Every other DISPID, up to one past the last row, answers nothing.
    for (DISPID id = 0; id <= static_cast<DISPID>(rows.size()) + 1; ++id) {
        for (const bool put : {false, true}) {
            const bool listed = std::any_of(rows.begin(), rows.end(), [&](const Row& row) {
                return row.id == id && (row.kind == Let) == put;
            });
            if (listed) continue;
            std::vector<VARIANT> args;
            if (put) args.push_back(One(VT_I4));
            EXPECT_EQ(Call(target, id, put ? DISPATCH_PROPERTYPUT : DISPATCH_PROPERTYGET | DISPATCH_METHOD,
                           std::move(args))
                          .hr,
                      DISP_E_MEMBERNOTFOUND)
                << interface << " DISPID " << id << " answers a " << (put ? "let" : "get or call");
        }
    }
}

// A driver object that has detected the simulated module at 127.0.0.1.
class InterfaceTable : public DriverObjects {
protected:
    void SetUp() override {
        DriverObjects::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(Test()) << LastError();
    }
};

TEST_F(InterfaceTable, Lintara) {
    Walk(lintara_.get(), "_Lintara", kLintara);
}

TEST_F(InterfaceTable, Adc3) {
    Walk(adc_.get(), "IADC3", kAdc3);
}

TEST_F(InterfaceTable, Dio) {
    Walk(dio_.get(), "IDIO", kDio);
}

TEST_F(InterfaceTable, Dao) {
    Walk(dao_.get(), "IDAO", kDao);
}

} // namespace
} // namespace velmora::test
