#include <velmora/server_registration.h>

#include "comrt/class_registry.h"
#include "comrt/guid_text.h"

#include <velmora/registry_store.h>

#include <dlfcn.h>
#include <filesystem>
#include <vector>

namespace velmora::com {
namespace {

namespace reg = velmora::reg;

bool WriteDefaultText(const std::string& path, std::string_view latin1) {
    reg::HKEY key = 0;
    if (reg::RegCreateKeyEx(reg::HKEY_CLASSES_ROOT, path.c_str(), reg::KEY_WRITE, &key, nullptr) !=
        reg::ERROR_SUCCESS) {
        return false;
    }
    std::string data(latin1);
    data.push_back('\0');
    const bool ok = reg::RegSetValueEx(key, "", reg::REG_SZ, reinterpret_cast<const reg::BYTE*>(data.data()),
                                       static_cast<reg::DWORD>(data.size())) == reg::ERROR_SUCCESS;
    reg::RegCloseKey(key);
    return ok;
}

std::vector<std::string> SubKeyNames(const std::string& path) {
    std::vector<std::string> names;
    reg::HKEY key = 0;
    if (reg::RegOpenKeyEx(reg::HKEY_CLASSES_ROOT, path.c_str(), reg::KEY_READ, &key) != reg::ERROR_SUCCESS) {
        return names;
    }
    reg::DWORD longest = 0;
    reg::RegQueryInfoKey(key, nullptr, &longest, nullptr, nullptr, nullptr);
    std::vector<char> name(longest + 1);
    for (reg::DWORD index = 0;; ++index) {
        reg::DWORD length = static_cast<reg::DWORD>(name.size());
        if (reg::RegEnumKeyEx(key, index, name.data(), &length) != reg::ERROR_SUCCESS) break;
        names.emplace_back(name.data(), length);
    }
    reg::RegCloseKey(key);
    return names;
}

// Deletes a key and everything below it; a missing key counts as deleted.
bool DeleteTree(const std::string& path) {
    for (const std::string& name : SubKeyNames(path)) {
        if (!DeleteTree(path + "\\" + name)) return false;
    }
    const reg::LONG result = reg::RegDeleteKey(reg::HKEY_CLASSES_ROOT, path.c_str());
    return result == reg::ERROR_SUCCESS || result == reg::ERROR_FILE_NOT_FOUND;
}

} // namespace

HRESULT RegisterInprocServer(const CLSID& clsid, std::string_view progId, std::string_view description,
                             const std::string& libraryPath) {
    std::string path, name, text;
    if (libraryPath.empty() || !Utf8ToLatin1(libraryPath, &path) || !Utf8ToLatin1(progId, &name) ||
        !Utf8ToLatin1(description, &text) || name.find('\\') != std::string::npos) {
        return SELFREG_E_CLASS;
    }
    const std::string classKey = "CLSID\\" + GuidToText(clsid);
    bool ok = WriteDefaultText(classKey, text) && WriteDefaultText(classKey + "\\InprocServer32", path);
    if (ok && !name.empty()) {
        ok = WriteDefaultText(classKey + "\\ProgID", name) &&
             WriteDefaultText(name + "\\CLSID", GuidToText(clsid));
    }
    return ok ? S_OK : SELFREG_E_CLASS;
}

HRESULT UnregisterInprocServer(const CLSID& clsid, std::string_view progId) {
    std::string name;
    if (!Utf8ToLatin1(progId, &name)) return SELFREG_E_CLASS;
    bool ok = DeleteTree("CLSID\\" + GuidToText(clsid));
    CLSID registered{};
    // Another class may have taken the ProgID over since; leave it alone then.
    if (!name.empty() && SUCCEEDED(ClsidOfProgId(name, &registered)) && registered == clsid) {
        ok = DeleteTree(name) && ok;
    }
    return ok ? S_OK : SELFREG_E_CLASS;
}

std::string LibraryPathOf(const void* address) {
    Dl_info info{};
    if (address == nullptr || ::dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
    std::error_code ec;
    auto file = std::filesystem::canonical(info.dli_fname, ec);
    // A program reports its name as it was started.
    if (ec) file = std::filesystem::canonical("/proc/self/exe", ec);
    return ec ? std::string{} : file.string();
}

} // namespace velmora::com
