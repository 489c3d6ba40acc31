// GUID comparison and text conversion, and ProgID lookups.
#include "comrt/class_registry.h"
#include "comrt/guid_text.h"

#include <cstring>
#include <new>

using namespace velmora::com;

namespace {

constexpr int kGuidChars = 39; // 38 characters and the NUL

std::u16string_view View(LPCOLESTR text) {
    return text != nullptr ? std::u16string_view(text) : std::u16string_view();
}

// A task-memory copy of `text` with its NUL.
HRESULT TaskMemString(std::u16string_view text, LPOLESTR* out) {
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(OLECHAR)));
    if (copy == nullptr) return E_OUTOFMEMORY;
    std::memcpy(copy, text.data(), text.size() * sizeof(OLECHAR));
    copy[text.size()] = 0;
    *out = copy;
    return S_OK;
}

HRESULT GuidString(REFGUID guid, LPOLESTR* out) {
    if (out == nullptr) return E_INVALIDARG;
    *out = nullptr;
    try {
        return TaskMemString(FromLatin1(GuidToText(guid)), out);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

// Braced text only; `failure` is the code for text that is not a GUID.
HRESULT ParseGuid(LPCOLESTR text, GUID* guid, HRESULT failure) {
    if (text == nullptr || guid == nullptr) return E_INVALIDARG;
    *guid = GUID_NULL;
    try {
        return TextToGuid(ToLatin1(View(text)), guid) ? S_OK : failure;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

} // namespace

BOOL IsEqualGUID(REFGUID rguid1, REFGUID rguid2) {
    return rguid1 == rguid2 ? 1 : 0;
}

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
    if (lpsz == nullptr || cchMax < kGuidChars) return 0;
    try {
        const std::string text = GuidToText(rguid);
        for (int k = 0; k < kGuidChars - 1; ++k) lpsz[k] = static_cast<OLECHAR>(text[k]);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    lpsz[kGuidChars - 1] = 0;
    return kGuidChars;
}

HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) {
    return GuidString(rclsid, lplpsz);
}

HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz) {
    return GuidString(rclsid, lplpsz);
}

HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid) {
    return ParseGuid(lpsz, lpiid, CO_E_IIDSTRING);
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
    // Text that is not braced may be a ProgID.
    if (lpsz != nullptr && pclsid != nullptr && lpsz[0] != u'{') {
        const HRESULT hr = CLSIDFromProgID(lpsz, pclsid);
        return SUCCEEDED(hr) || hr == E_OUTOFMEMORY ? hr : CO_E_CLASSSTRING;
    }
    return ParseGuid(lpsz, pclsid, CO_E_CLASSSTRING);
}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
    if (lpszProgID == nullptr || lpclsid == nullptr) return E_INVALIDARG;
    *lpclsid = CLSID_NULL;
    try {
        const std::u16string_view progId = View(lpszProgID);
        // A character the store cannot hold names no registered ProgID.
        for (char16_t c : progId) {
            if (c > 0xFF) return CO_E_CLASSSTRING;
        }
        return ClsidOfProgId(ToLatin1(progId), lpclsid);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
    if (lplpszProgID == nullptr) return E_INVALIDARG;
    *lplpszProgID = nullptr;
    try {
        std::string progId;
        if (!ReadClassesRootText("CLSID\\" + GuidToText(clsid) + "\\ProgID", &progId))
            return REGDB_E_CLASSNOTREG;
        return TaskMemString(FromLatin1(progId), lplpszProgID);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
