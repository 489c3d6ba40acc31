#include "comrt/hresult_text.h"

#include <cstdio>

namespace velmora::com {
namespace {

struct Named {
    HRESULT code;
    const char* name;
};

#define VELMORA_NAMED(code)                                                                                  \
    Named {                                                                                                  \
        code, #code                                                                                          \
    }
constexpr Named kNames[] = {
    VELMORA_NAMED(S_OK),
    VELMORA_NAMED(S_FALSE),
    VELMORA_NAMED(E_NOTIMPL),
    VELMORA_NAMED(E_NOINTERFACE),
    VELMORA_NAMED(E_POINTER),
    VELMORA_NAMED(E_ABORT),
    VELMORA_NAMED(E_FAIL),
    VELMORA_NAMED(E_UNEXPECTED),
    VELMORA_NAMED(E_ACCESSDENIED),
    VELMORA_NAMED(E_HANDLE),
    VELMORA_NAMED(E_OUTOFMEMORY),
    VELMORA_NAMED(E_INVALIDARG),
    VELMORA_NAMED(CLASS_E_NOAGGREGATION),
    VELMORA_NAMED(CLASS_E_CLASSNOTAVAILABLE),
    VELMORA_NAMED(REGDB_E_READREGDB),
    VELMORA_NAMED(REGDB_E_WRITEREGDB),
    VELMORA_NAMED(REGDB_E_KEYMISSING),
    VELMORA_NAMED(REGDB_E_CLASSNOTREG),
    VELMORA_NAMED(SELFREG_E_TYPELIB),
    VELMORA_NAMED(SELFREG_E_CLASS),
    VELMORA_NAMED(CO_E_NOTINITIALIZED),
    VELMORA_NAMED(CO_E_CLASSSTRING),
    VELMORA_NAMED(CO_E_IIDSTRING),
    VELMORA_NAMED(CO_E_APPNOTFOUND),
    VELMORA_NAMED(CO_E_DLLNOTFOUND),
    VELMORA_NAMED(CO_E_ERRORINDLL),
    VELMORA_NAMED(DISP_E_UNKNOWNINTERFACE),
    VELMORA_NAMED(DISP_E_MEMBERNOTFOUND),
    VELMORA_NAMED(DISP_E_PARAMNOTFOUND),
    VELMORA_NAMED(DISP_E_TYPEMISMATCH),
    VELMORA_NAMED(DISP_E_UNKNOWNNAME),
    VELMORA_NAMED(DISP_E_NONAMEDARGS),
    VELMORA_NAMED(DISP_E_BADVARTYPE),
    VELMORA_NAMED(DISP_E_EXCEPTION),
    VELMORA_NAMED(DISP_E_OVERFLOW),
    VELMORA_NAMED(DISP_E_BADINDEX),
    VELMORA_NAMED(DISP_E_UNKNOWNLCID),
    VELMORA_NAMED(DISP_E_ARRAYISLOCKED),
    VELMORA_NAMED(DISP_E_BADPARAMCOUNT),
    VELMORA_NAMED(DISP_E_PARAMNOTOPTIONAL),
    VELMORA_NAMED(DISP_E_BADCALLEE),
    VELMORA_NAMED(DISP_E_NOTACOLLECTION),
    VELMORA_NAMED(DISP_E_DIVBYZERO),
    VELMORA_NAMED(TYPE_E_ELEMENTNOTFOUND),
};
#undef VELMORA_NAMED

} // namespace

const char* HResultName(HRESULT hr) {
    for (const Named& entry : kNames) {
        if (entry.code == hr) return entry.name;
    }
    return "";
}

std::string HResultText(HRESULT hr) {
    char hex[16];
    std::snprintf(hex, sizeof(hex), "0x%08X", static_cast<uint32_t>(hr));
    const std::string name = HResultName(hr);
    return name.empty() ? std::string(hex) : std::string(hex) + " (" + name + ")";
}

} // namespace velmora::com
