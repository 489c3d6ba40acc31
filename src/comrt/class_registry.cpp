#include "comrt/class_registry.h"

#include "comrt/guid_text.h"

#include <velmora/registry_store.h>

#include <algorithm>
#include <vector>

namespace velmora::com {

namespace reg = velmora::reg;

bool ReadClassesRootText(const std::string& path, std::string* value) {
    reg::HKEY key = 0;
    if (reg::RegOpenKeyEx(reg::HKEY_CLASSES_ROOT, path.c_str(), reg::KEY_READ, &key) != reg::ERROR_SUCCESS) {
        return false;
    }
    reg::DWORD type = 0;
    reg::DWORD size = 0;
    bool ok = reg::RegQueryValueEx(key, "", &type, nullptr, &size) == reg::ERROR_SUCCESS &&
              (type == reg::REG_SZ || type == reg::REG_EXPAND_SZ);
    std::vector<reg::BYTE> data(size);
    ok = ok && reg::RegQueryValueEx(key, "", &type, data.data(), &size) == reg::ERROR_SUCCESS;
    reg::RegCloseKey(key);
    if (!ok) return false;
    value->assign(data.begin(), data.begin() + std::min<size_t>(size, data.size()));
    // The stored text usually includes its terminator.
    while (!value->empty() && value->back() == '\0') value->pop_back();
    return true;
}

HRESULT InprocServerPath(const CLSID& clsid, std::string* path) {
    std::string stored;
    if (!ReadClassesRootText("CLSID\\" + GuidToText(clsid) + "\\InprocServer32", &stored)) {
        return REGDB_E_CLASSNOTREG;
    }
    *path = Latin1ToUtf8(stored);
    return S_OK;
}

HRESULT ClsidOfProgId(const std::string& progId, CLSID* clsid) {
    std::string text;
    // A backslash would walk into another key.
    if (progId.empty() || progId.find('\\') != std::string::npos) return CO_E_CLASSSTRING;
    if (!ReadClassesRootText(progId + "\\CLSID", &text)) return CO_E_CLASSSTRING;
    return TextToGuid(text, clsid) ? S_OK : CO_E_CLASSSTRING;
}

} // namespace velmora::com
