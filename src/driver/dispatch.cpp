#include "driver/dispatch.h"

#include <new>

namespace velmora::driver::dispatch {
namespace {

bool SameName(std::u16string_view name, const OLECHAR* text) {
    size_t i = 0;
    for (; i < name.size(); ++i) {
        if (text[i] == 0 || FoldCase(text[i]) != FoldCase(name[i])) return false;
    }
    return text[i] == 0;
}

// Which invoke flags a row answers. Hosts call functions and property gets
// with METHOD, PROPERTYGET or both.
WORD FlagsOf(Kind kind) {
    switch (kind) {
    case Kind::Get:
    case Kind::Function:
        return DISPATCH_PROPERTYGET | DISPATCH_METHOD;
    case Kind::Sub:
        return DISPATCH_METHOD;
    case Kind::Put:
        return DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF;
    }
    return 0;
}

const Member* Find(MemberTable table, DISPID id, WORD flags) {
    // A let is asked for with a put flag only; never let a get answer it.
    const WORD wanted = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0
                            ? static_cast<WORD>(flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))
                            : flags;
    for (const Member& m : table) {
        if (m.id == id && (FlagsOf(m.kind) & wanted) != 0) return &m;
    }
    return nullptr;
}

bool NamedArgumentsFit(const Member& m, const DISPPARAMS& params) {
    if (params.cNamedArgs == 0) return true;
    return m.kind == Kind::Put && params.cNamedArgs == 1 && params.rgdispidNamedArgs != nullptr &&
           params.rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
}

} // namespace

HRESULT GetIDsOfNames(MemberTable table, REFIID riid, LPOLESTR* names, UINT count, DISPID* ids) noexcept {
    if (!(riid == IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (count == 0) return S_OK;
    if (names == nullptr || ids == nullptr) return E_POINTER;
    for (UINT k = 0; k < count; ++k) ids[k] = DISPID_UNKNOWN;
    if (names[0] == nullptr) return DISP_E_UNKNOWNNAME;
    for (const Member& m : table) {
        if (SameName(m.name, names[0])) {
            ids[0] = m.id;
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
    }
    return DISP_E_UNKNOWNNAME;
}

HRESULT Invoke(MemberTable table, IDispatch* self, DISPID id, REFIID riid, WORD flags, DISPPARAMS* params,
               VARIANT* result, UINT* argErr) noexcept {
    if (!(riid == IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    const Member* m = Find(table, id, flags);
    if (m == nullptr) return DISP_E_MEMBERNOTFOUND;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    const DISPPARAMS& args = params != nullptr ? *params : none;
    if (!NamedArgumentsFit(*m, args)) return DISP_E_NONAMEDARGS;
    if (args.cArgs > 0 && args.rgvarg == nullptr) return E_INVALIDARG;
    if (result != nullptr) VariantInit(result);
    if (m->kind == Kind::Put || m->kind == Kind::Sub) result = nullptr;
    UINT ignored = 0;
    try {
        return m->invoke(self, args, result, argErr != nullptr ? argErr : &ignored);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

} // namespace velmora::driver::dispatch
