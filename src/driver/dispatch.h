// Table-driven IDispatch for the driver's dual interfaces: per interface a
// table of members (dispatch_rows.h builds them from the member lists); Invoke
// converts the VARIANT arguments and calls the vtable member. Stateless.
#pragma once

#include <velmora/interfaces.h>

#include <cstdint>
#include <span>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "driver/dispatch_args.h"

namespace velmora::driver::dispatch {

// Get and Function hand back a value (the member's last parameter); Sub does not.
enum class Kind : uint8_t { Get, Put, Sub, Function };

// What a member's C++ signature does not say.
struct Shape {
    // The property value (Get result, Put argument) or Function result is a
    // Boolean: VARIANT_BOOL and Integer are both int16_t.
    bool boolean = false;
    // Index of a parameter that is the first element of the caller's array
    // (GetData's buffer, SetValues' values); -1 for none.
    int buffer = -1;
    // Index of the parameter that says how many elements of the buffer the
    // member uses; Invoke holds it to the array's bounds.
    int count = -1;
};

using Thunk = HRESULT (*)(IDispatch* self, const DISPPARAMS& params, VARIANT* result, UINT* argErr);

// One row of a member table. A property's get and let are two rows with the
// same DISPID: the row number of its first half in the interface's table.
struct Member {
    std::u16string_view name;
    DISPID id;
    Kind kind;
    Thunk invoke;
};

using MemberTable = std::span<const Member>;

// The tables, in slot order.
MemberTable LintaraMembers();
MemberTable Adc3Members();
MemberTable DioMembers();
MemberTable DaoMembers();
MemberTable ModuleMembers();

template <typename I> MemberTable MembersOf();
template <> inline MemberTable MembersOf<_Lintara>() {
    return LintaraMembers();
}
template <> inline MemberTable MembersOf<IADC3>() {
    return Adc3Members();
}
template <> inline MemberTable MembersOf<IDIO>() {
    return DioMembers();
}
template <> inline MemberTable MembersOf<IDAO>() {
    return DaoMembers();
}
template <> inline MemberTable MembersOf<IModule>() {
    return ModuleMembers();
}

// Member names compare without regard to ASCII case.
constexpr char16_t FoldCase(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}
constexpr bool SameNameFolded(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    }
    return true;
}

// Names compare by SameNameFolded. Names after the first are
// parameter names, which are not supported: DISP_E_UNKNOWNNAME for them.
HRESULT GetIDsOfNames(MemberTable table, REFIID riid, LPOLESTR* names, UINT count, DISPID* ids) noexcept;

// Arguments come in reverse order. A let takes its value as rgvarg[0], named
// DISPID_PROPERTYPUT or not named at all; nothing else may be named.
// By-value parameters are converted with VariantChangeType. A by-reference
// parameter receives the caller's storage when the argument is VT_BYREF of the
// exact type (or a by-reference Variant holding that type); otherwise it gets
// a converted copy that is converted back into the caller's by-reference
// argument afterwards. An array parameter takes VT_ARRAY, VT_BYREF|VT_ARRAY or
// a by-reference Variant holding an array. A first-element buffer takes
// VT_BYREF of the element type pointing into the caller's array, or a 1-D
// array of that element type (by value or by reference) whose data are then
// used from its first element on; as with the vtable call, the caller's count
// must fit the array.
HRESULT Invoke(MemberTable table, IDispatch* self, DISPID id, REFIID riid, WORD flags, DISPPARAMS* params,
               VARIANT* result, UINT* argErr) noexcept;

// ---- Calling a member through its member-function pointer ----------------------

template <typename... P> struct TypeList {};

template <typename F> struct Signature;
template <typename I, typename... P> struct Signature<HRESULT (I::*)(P...)> {
    using Interface = I;
    using Params = TypeList<P...>;
};

template <typename T> struct ResultOf;
template <typename T> struct ResultOf<T*> { using Type = T; };

// Parameter i of a member: its holder type by role.
template <typename P, Shape S, Kind K, size_t i, size_t nArgs> struct HolderFor {
    static constexpr bool isValue = K == Kind::Put && i + 1 == nArgs;
    static constexpr bool boolean = S.boolean && isValue;
    using Type = std::conditional_t<
        std::is_same_v<P, SAFEARRAY**>, ArrayArg,
        std::conditional_t<
            std::is_same_v<P, BSTR>, TextArg,
            std::conditional_t<
                static_cast<int>(i) == S.buffer, BufferArg<std::remove_pointer_t<P>>,
                std::conditional_t<std::is_pointer_v<P>, RefArg<std::remove_pointer_t<P>, boolean>,
                                   ValueArg<P, boolean>>>>>;
};

// Loads argument i from rgvarg[n - 1 - i], stopping at the first that fails.
template <typename Holders, size_t... i>
HRESULT LoadArguments(Holders& holders, [[maybe_unused]] const DISPPARAMS& params,
                      [[maybe_unused]] UINT* argErr, std::index_sequence<i...>) {
    constexpr size_t n = sizeof...(i);
    HRESULT hr = S_OK;
    [[maybe_unused]] auto load = [&](auto& holder, size_t position) {
        if (FAILED(hr)) return;
        hr = holder.Load(params.rgvarg[position]);
        if (FAILED(hr)) *argErr = static_cast<UINT>(position);
    };
    (load(std::get<i>(holders), n - 1 - i), ...);
    return hr;
}

template <auto Fn, Kind K, Shape S, typename I, typename... P, size_t... i>
HRESULT CallWith(I* self, const DISPPARAMS& params, VARIANT* out, UINT* argErr,
                 std::index_sequence<i...> order) {
    constexpr size_t nArgs = sizeof...(i);
    std::tuple<typename HolderFor<std::tuple_element_t<i, std::tuple<P...>>, S, K, i, nArgs>::Type...> args;
    HRESULT hr = LoadArguments(args, params, argErr, order);
    if (FAILED(hr)) return hr;
    if constexpr (S.buffer >= 0 && S.count >= 0) {
        // An array says how far it reaches: a count past it would read or
        // write beyond the caller's memory.
        const int64_t room = std::get<static_cast<size_t>(S.buffer)>(args).Room();
        if (room >= 0) std::get<static_cast<size_t>(S.count)>(args).HoldTo(room);
    }
    if constexpr (K == Kind::Get || K == Kind::Function) {
        using R = typename ResultOf<std::tuple_element_t<nArgs, std::tuple<P...>>>::Type;
        R value{};
        hr = (self->*Fn)(std::get<i>(args).Get()..., &value);
        (std::get<i>(args).WriteBack(), ...);
        if (SUCCEEDED(hr)) StoreResult(value, S.boolean, out);
        return hr;
    } else {
        (void)out;
        hr = (self->*Fn)(std::get<i>(args).Get()...);
        (std::get<i>(args).WriteBack(), ...);
        return hr;
    }
}

template <auto Fn, Kind K, Shape S, typename I, typename... P>
HRESULT CallMember(IDispatch* self, const DISPPARAMS& params, VARIANT* out, UINT* argErr, TypeList<P...>) {
    constexpr size_t nArgs = sizeof...(P) - (K == Kind::Get || K == Kind::Function ? 1 : 0);
    if (params.cArgs != nArgs) return DISP_E_BADPARAMCOUNT;
    return CallWith<Fn, K, S, I, P...>(static_cast<I*>(self), params, out, argErr,
                                       std::make_index_sequence<nArgs>{});
}

template <auto Fn, Kind K, Shape S>
HRESULT Call(IDispatch* self, const DISPPARAMS& params, VARIANT* out, UINT* argErr) {
    using Sig = Signature<decltype(Fn)>;
    return CallMember<Fn, K, S, typename Sig::Interface>(self, params, out, argErr, typename Sig::Params{});
}

// ---- IDispatch over a member table ---------------------------------------------

// The four IDispatch methods of interface I, answered from MembersOf<I>().
template <typename I> class DispatchImpl : public I {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info != nullptr) *info = nullptr;
        return DISP_E_BADINDEX; // there is no type information
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        return dispatch::GetIDsOfNames(MembersOf<I>(), riid, names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT* argErr) override {
        return dispatch::Invoke(MembersOf<I>(), this, id, riid, flags, params, result, argErr);
    }
};

} // namespace velmora::driver::dispatch
