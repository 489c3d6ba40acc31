#include "comrt/hresult_text.h"

#include <velmora/registry_store.h>

#include <cstdio>

namespace velmora::com {
namespace {

struct Named {
    HRESULT code;
    const char* name;
    const char* message; // null: the Win32 code's text
};

#define VELMORA_NAMED(code, message)                                                                         \
    Named {                                                                                                  \
        code, #code, message                                                                                 \
    }
constexpr Named kNames[] = {
    VELMORA_NAMED(S_OK, nullptr),
    VELMORA_NAMED(S_FALSE, "The operation completed, with a negative answer"),
    VELMORA_NAMED(E_NOTIMPL, "Not implemented"),
    VELMORA_NAMED(E_NOINTERFACE, "No such interface supported"),
    VELMORA_NAMED(E_POINTER, "Invalid pointer"),
    VELMORA_NAMED(E_ABORT, "Operation aborted"),
    VELMORA_NAMED(E_FAIL, "Unspecified error"),
    VELMORA_NAMED(E_UNEXPECTED, "Catastrophic failure"),
    VELMORA_NAMED(E_ACCESSDENIED, nullptr),
    VELMORA_NAMED(E_HANDLE, nullptr),
    VELMORA_NAMED(E_OUTOFMEMORY, nullptr),
    VELMORA_NAMED(E_INVALIDARG, nullptr),
    VELMORA_NAMED(CLASS_E_NOAGGREGATION, "Class does not support aggregation (or class object is remote)"),
    VELMORA_NAMED(CLASS_E_CLASSNOTAVAILABLE, "ClassFactory cannot supply requested class"),
    VELMORA_NAMED(REGDB_E_READREGDB, "Could not read key from registry"),
    VELMORA_NAMED(REGDB_E_WRITEREGDB, "Could not write key to registry"),
    VELMORA_NAMED(REGDB_E_KEYMISSING, "Could not find the key in the registry"),
    VELMORA_NAMED(REGDB_E_CLASSNOTREG, "Class not registered"),
    VELMORA_NAMED(SELFREG_E_TYPELIB, "The server could not register or unregister its type library"),
    VELMORA_NAMED(SELFREG_E_CLASS, "The server could not register or unregister its classes"),
    VELMORA_NAMED(CO_E_NOTINITIALIZED, "CoInitialize has not been called"),
    VELMORA_NAMED(CO_E_CLASSSTRING, "Invalid class string"),
    VELMORA_NAMED(CO_E_IIDSTRING, "Invalid interface string"),
    VELMORA_NAMED(CO_E_APPNOTFOUND, "Application not found"),
    VELMORA_NAMED(CO_E_DLLNOTFOUND, "DLL for class not found"),
    VELMORA_NAMED(CO_E_ERRORINDLL, "Error in the DLL"),
    VELMORA_NAMED(DISP_E_UNKNOWNINTERFACE, "Unknown interface"),
    VELMORA_NAMED(DISP_E_MEMBERNOTFOUND, "Member not found"),
    VELMORA_NAMED(DISP_E_PARAMNOTFOUND, "Parameter not found"),
    VELMORA_NAMED(DISP_E_TYPEMISMATCH, "Type mismatch"),
    VELMORA_NAMED(DISP_E_UNKNOWNNAME, "Unknown name"),
    VELMORA_NAMED(DISP_E_NONAMEDARGS, "No named arguments"),
    VELMORA_NAMED(DISP_E_BADVARTYPE, "Bad variable type"),
    VELMORA_NAMED(DISP_E_EXCEPTION, "Exception occurred"),
    VELMORA_NAMED(DISP_E_OVERFLOW, "Out of present range"),
    VELMORA_NAMED(DISP_E_BADINDEX, "Invalid index"),
    VELMORA_NAMED(DISP_E_UNKNOWNLCID, "Unknown language"),
    VELMORA_NAMED(DISP_E_ARRAYISLOCKED, "Memory is locked"),
    VELMORA_NAMED(DISP_E_BADPARAMCOUNT, "Invalid number of parameters"),
    VELMORA_NAMED(DISP_E_PARAMNOTOPTIONAL, "Parameter not optional"),
    VELMORA_NAMED(DISP_E_BADCALLEE, "Invalid callee"),
    VELMORA_NAMED(DISP_E_NOTACOLLECTION, "Does not support a collection"),
    VELMORA_NAMED(DISP_E_DIVBYZERO, "Division by zero"),
    VELMORA_NAMED(TYPE_E_ELEMENTNOTFOUND, "Element not found"),
};
#undef VELMORA_NAMED

const Named* Find(HRESULT hr) {
    for (const Named& entry : kNames) {
        if (entry.code == hr) return &entry;
    }
    return nullptr;
}

// The store's table of Win32 texts, without the line end and closing period.
std::string Win32Message(uint32_t code) {
    std::string text = reg::FormatMessage(code);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.'))
        text.pop_back();
    return text;
}

} // namespace

const char* HResultName(HRESULT hr) {
    const Named* entry = Find(hr);
    return entry ? entry->name : "";
}

std::string HResultMessage(HRESULT hr) {
    const auto bits = static_cast<uint32_t>(hr);
    if (const Named* entry = Find(hr); entry && entry->message) return entry->message;
    std::string text;
    if (hr == S_OK || (bits & 0xFFFF0000u) == 0x80070000u) text = Win32Message(bits & 0xFFFFu);
    if (!text.empty()) return text;
    return SUCCEEDED(hr) ? "The operation completed with a result the runtime has no text for"
                         : "An error the runtime has no text for";
}

std::string HResultText(HRESULT hr) {
    char hex[16];
    std::snprintf(hex, sizeof(hex), "0x%08X", static_cast<uint32_t>(hr));
    const std::string name = HResultName(hr);
    return std::string(hex) + (name.empty() ? "" : " (" + name + ")") + ": " + HResultMessage(hr);
}

} // namespace velmora::com
