#include <velmora/server_registration.h>

#include "comrt/class_registry.h"
#include "comrt/firewall.h"
#include "comrt/guid_text.h"

#include <velmora/registry_store.h>

#include <dlfcn.h>
#include <filesystem>
#include <vector>

namespace velmora::com {
namespace {

namespace reg = velmora::reg;

HRESULT FromStore(reg::LONG result) {
    return result == reg::ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<uint32_t>(result));
}

// A default text value, stored with its NUL as the class lookups read it.
reg::RegBatchWrite DefaultText(const std::string& path, std::string_view latin1) {
    reg::RegBatchWrite write{path, "", reg::REG_SZ, {latin1.begin(), latin1.end()}, false};
    write.data.push_back(0);
    return write;
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
reg::LONG DeleteTree(const std::string& path) {
    for (const std::string& name : SubKeyNames(path)) {
        if (const reg::LONG result = DeleteTree(path + "\\" + name); result != reg::ERROR_SUCCESS)
            return result;
    }
    const reg::LONG result = reg::RegDeleteKey(reg::HKEY_CLASSES_ROOT, path.c_str());
    return result == reg::ERROR_FILE_NOT_FOUND ? reg::ERROR_SUCCESS : result;
}

HRESULT Register(const CLSID& clsid, std::string_view progId, std::string_view description,
                 const std::string& libraryPath) {
    std::string path, name, text;
    if (libraryPath.empty() || !Utf8ToLatin1(libraryPath, &path) || !Utf8ToLatin1(progId, &name) ||
        !Utf8ToLatin1(description, &text) || name.find('\\') != std::string::npos) {
        return SELFREG_E_CLASS;
    }
    const std::string classKey = "CLSID\\" + GuidToText(clsid);
    std::vector<reg::RegBatchWrite> writes{DefaultText(classKey, text),
                                           DefaultText(classKey + "\\InprocServer32", path)};
    if (!name.empty()) {
        writes.push_back(DefaultText(classKey + "\\ProgID", name));
        writes.push_back(DefaultText(name + "\\CLSID", GuidToText(clsid)));
    }
    return FromStore(
        reg::RegWriteBatch(reg::HKEY_CLASSES_ROOT, writes.data(), static_cast<reg::DWORD>(writes.size())));
}

HRESULT Unregister(const CLSID& clsid, std::string_view progId) {
    std::string name;
    if (!Utf8ToLatin1(progId, &name)) return SELFREG_E_CLASS;
    reg::LONG result = DeleteTree("CLSID\\" + GuidToText(clsid));
    CLSID registered{};
    // Another class may have taken the ProgID over since; leave it alone then.
    if (!name.empty() && SUCCEEDED(ClsidOfProgId(name, &registered)) && registered == clsid) {
        const reg::LONG progIdResult = DeleteTree(name);
        if (result == reg::ERROR_SUCCESS) result = progIdResult;
    }
    return FromStore(result);
}

} // namespace

HRESULT RegisterInprocServer(const CLSID& clsid, std::string_view progId, std::string_view description,
                             const std::string& libraryPath) {
    return Firewall([&] { return Register(clsid, progId, description, libraryPath); });
}

HRESULT UnregisterInprocServer(const CLSID& clsid, std::string_view progId) {
    return Firewall([&] { return Unregister(clsid, progId); });
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
