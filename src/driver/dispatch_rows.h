// Member tables made from the interfaces' member lists: each row is checked
// as it is built, numbered by the lists' rule and checked against the other
// rows, all at compile time.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "driver/dispatch.h"

// The shapes a member list names.
#define VELMORA_SHAPE_Plain ::velmora::driver::dispatch::kPlain
#define VELMORA_SHAPE_Boolean ::velmora::driver::dispatch::kBoolean
#define VELMORA_SHAPE_Buffer(i, n) ::velmora::driver::dispatch::BufferAt(i, n)

// A member list row as the RowSpec of a member of interface I (a name in scope
// where the list is expanded), followed by a comma.
#define VELMORA_ROW_SPEC(kind, name, params, shape)                                                          \
    ::velmora::driver::dispatch::Spec<&I::VELMORA_MEMBER_NAME(kind, name),                                   \
                                      ::velmora::driver::dispatch::Kind::kind, VELMORA_SHAPE_##shape>(       \
        u"" #name, #params),

namespace velmora::driver::dispatch {

inline constexpr Shape kPlain{};
inline constexpr Shape kBoolean{.boolean = true};
constexpr Shape BufferAt(int argument, int count) {
    return Shape{.buffer = argument, .count = count};
}

// One address per type, so that rows can compare types in constant expressions.
template <typename T> inline constexpr char kTypeTag = 0;

// A row before numbering, with what the checks compare between rows.
struct RowSpec {
    std::u16string_view name;
    Kind kind;
    Shape shape;
    Thunk invoke;
    const void* value;   // type of the value: a get's result, a let's last parameter
    const void* indices; // the parameters before the value
};

template <size_t i, typename... P> using Param = std::tuple_element_t<i, std::tuple<P...>>;

template <typename... P, size_t... i> TypeList<Param<i, P...>...> FirstParams(std::index_sequence<i...>);

// The last parameter of a spelled parameter list such as "(int16_t Index, BSTR* result)".
constexpr std::string_view LastParam(std::string_view params) {
    params = params.substr(1, params.size() - 2);
    if (const size_t comma = params.rfind(','); comma != std::string_view::npos) {
        params.remove_prefix(comma + 1);
    }
    while (params.starts_with(' ')) params.remove_prefix(1);
    return params;
}

constexpr size_t Occurrences(std::string_view text, std::string_view word) {
    size_t count = 0;
    for (size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + word.size())) {
        ++count;
    }
    return count;
}

// A row of member Fn, with its name and its parameter list as the list spells
// it: only the spelling tells a VARIANT_BOOL from an int16_t.
template <auto Fn, Kind K, Shape S, typename... P>
consteval RowSpec MakeSpec(std::u16string_view name, std::string_view params, TypeList<P...>) {
    constexpr bool hasResult = K == Kind::Get || K == Kind::Function;
    constexpr size_t count = sizeof...(P);
    static_assert(K == Kind::Sub || count > 0,
                  "a get or function ends with its result, a let with its value");
    constexpr size_t nArgs = count - (hasResult ? 1 : 0);

    if constexpr (S.buffer != -1) {
        static_assert(S.buffer >= 0 && static_cast<size_t>(S.buffer) < nArgs, "a buffer is an argument");
        if constexpr (S.buffer >= 0 && static_cast<size_t>(S.buffer) < nArgs) {
            using Buffer = Param<static_cast<size_t>(S.buffer), P...>;
            static_assert(std::is_pointer_v<Buffer> && std::is_arithmetic_v<std::remove_pointer_t<Buffer>>,
                          "a buffer is a pointer to a number");
        }
        static_assert(S.count >= 0 && static_cast<size_t>(S.count) < nArgs && S.count != S.buffer,
                      "a buffer's count is another argument");
        if constexpr (S.count >= 0 && static_cast<size_t>(S.count) < nArgs) {
            using Count = std::remove_pointer_t<Param<static_cast<size_t>(S.count), P...>>;
            static_assert(std::is_integral_v<Count>, "a buffer's count is a whole number");
        }
    }

    const void* value = &kTypeTag<void>;
    const void* indices = &kTypeTag<TypeList<P...>>;
    if constexpr (K != Kind::Sub) {
        using Last = Param<count - 1, P...>;
        static_assert(!hasResult || std::is_pointer_v<Last>, "a result is returned through a pointer");
        // A String let takes its value by value: the BSTR is the value itself.
        using Value =
            std::conditional_t<std::is_same_v<Last, BSTR> && !hasResult, BSTR, std::remove_pointer_t<Last>>;
        value = &kTypeTag<Value>;
        indices = &kTypeTag<decltype(FirstParams<P...>(std::make_index_sequence<count - 1>{}))>;
    }

    const bool booleanValue = K != Kind::Sub && LastParam(params).starts_with("VARIANT_BOOL");
    if (S.boolean != booleanValue)
        throw "the Boolean shape goes with a value spelled VARIANT_BOOL, and only there";
    if (Occurrences(params, "VARIANT_BOOL") != (booleanValue ? 1u : 0u)) {
        throw "a Boolean argument other than the value is not supported";
    }
    return RowSpec{name, K, S, &Call<Fn, K, S>, value, indices};
}

template <auto Fn, Kind K, Shape S>
consteval RowSpec Spec(std::u16string_view name, std::string_view params) {
    return MakeSpec<Fn, K, S>(name, params, typename Signature<decltype(Fn)>::Params{});
}

// Rows a and b are the get and the let of one property.
template <typename Row> constexpr bool Halves(const Row& a, const Row& b) {
    const bool properties =
        (a.kind == Kind::Get || a.kind == Kind::Put) && (b.kind == Kind::Get || b.kind == Kind::Put);
    return properties && a.kind != b.kind && a.name == b.name;
}

// The DISPID of row k: its number from 1, or the number of the other half of
// its property when that comes first.
template <size_t N> constexpr DISPID DispidOf(const std::array<RowSpec, N>& rows, size_t k) {
    for (size_t j = 0; j < k; ++j) {
        if (Halves(rows[j], rows[k])) return static_cast<DISPID>(j + 1);
    }
    return static_cast<DISPID>(k + 1);
}

template <size_t N> constexpr std::array<Member, N> Numbered(const std::array<RowSpec, N>& rows) {
    std::array<Member, N> table{};
    for (size_t k = 0; k < N; ++k)
        table[k] = Member{rows[k].name, DispidOf(rows, k), rows[k].kind, rows[k].invoke};
    return table;
}

// The checks between rows give the number (from 1) of the first row that
// does not fit, 0 when all do.

// Names are looked up without regard to case: two rows may share one only as
// the get and let of a property.
template <size_t N> constexpr size_t NameClash(const std::array<RowSpec, N>& rows) {
    for (size_t k = 0; k < N; ++k) {
        for (size_t j = 0; j < k; ++j) {
            if (SameNameFolded(rows[j].name, rows[k].name) && !Halves(rows[j], rows[k])) return k + 1;
        }
    }
    return 0;
}

// The get and let of a property take the same indices, the same value type
// and the same shape.
template <size_t N> constexpr size_t HalvesDiffer(const std::array<RowSpec, N>& rows) {
    for (size_t k = 0; k < N; ++k) {
        for (size_t j = 0; j < k; ++j) {
            const RowSpec &a = rows[j], &b = rows[k];
            if (!Halves(a, b)) continue;
            if (a.value != b.value || a.indices != b.indices || a.shape.boolean != b.shape.boolean ||
                a.shape.buffer != b.shape.buffer) {
                return k + 1;
            }
        }
    }
    return 0;
}

// A property's halves share one DISPID, the row number of the first; every
// other row has its own number.
template <size_t N> constexpr size_t IdMisfit(const std::array<Member, N>& table) {
    for (size_t k = 0; k < N; ++k) {
        const DISPID id = table[k].id;
        if (id < 1 || static_cast<size_t>(id) > k + 1) return k + 1;
        if (static_cast<size_t>(id) != k + 1 && !Halves(table[static_cast<size_t>(id) - 1], table[k]))
            return k + 1;
        for (size_t j = 0; j < k; ++j) {
            if ((table[j].id == id) != Halves(table[j], table[k])) return k + 1;
        }
    }
    return 0;
}

// The checked, numbered table of a list's rows.
template <const auto& rows> struct Table {
    static_assert(NameClash(rows) == 0, "a name is used twice, not as the get and let of one property");
    static_assert(HalvesDiffer(rows) == 0, "the get and let of a property differ in indices, value or shape");
    static constexpr auto members = Numbered(rows);
    static_assert(IdMisfit(members) == 0, "a DISPID breaks the numbering rule");
};

} // namespace velmora::driver::dispatch
