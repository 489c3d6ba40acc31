#include "driver_link.h"

#include <velmora/registry_store.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace lintara {
namespace {

namespace fs = std::filesystem;
namespace reg = velmora::reg;

// This extension's own folder.
fs::path PackageFolder() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<const void*>(&PackageFolder), &info) == 0 || info.dli_fname == nullptr)
        return {};
    return fs::absolute(info.dli_fname).parent_path();
}

std::u16string Ascii16(const char* text) {
    std::u16string wide;
    for (; *text != '\0'; ++text) wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(*text)));
    return wide;
}

std::string ClsidText(const CLSID& clsid) {
    char16_t wide[40] = {};
    const int length = StringFromGUID2(clsid, wide, 40);
    std::string text;
    for (int i = 0; i + 1 < length; ++i) text.push_back(static_cast<char>(wide[i]));
    return text;
}

bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return !a.empty() && fs::equivalent(a, b, ec);
}

} // namespace

fs::path DriverBeside() {
    if (const char* named = std::getenv("LINTARA_DRIVER"); named != nullptr && *named != '\0')
        return fs::absolute(named).lexically_normal();
    const fs::path folder = PackageFolder();
    for (const char* relative : {LINTARA_BUILD_DRIVER_DIR, LINTARA_INSTALL_DRIVER_DIR}) {
        const fs::path driver = (folder / relative / "Lintara.adc").lexically_normal();
        std::error_code ec;
        if (fs::is_regular_file(driver, ec)) return driver;
    }
    return {};
}

std::string LoadedDriver() {
    const fs::path beside = DriverBeside();
    void* library = beside.empty() ? nullptr : ::dlopen(beside.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (library == nullptr) return {};
    Dl_info info{};
    const void* entry = ::dlsym(library, "DllGetClassObject");
    std::string path =
        entry != nullptr && ::dladdr(entry, &info) != 0 && info.dli_fname != nullptr ? info.dli_fname : "";
    ::dlclose(library);
    return path;
}

std::string RegisteredDriver() {
    const std::string key = "CLSID\\" + ClsidText(CLSID_Lintara) + "\\InprocServer32";
    reg::HKEY server = 0;
    if (reg::RegOpenKeyEx(reg::HKEY_CLASSES_ROOT, key.c_str(), reg::KEY_READ, &server) != reg::ERROR_SUCCESS)
        return {};
    char path[4096];
    reg::DWORD size = sizeof path, type = 0;
    const reg::LONG rc = reg::RegQueryValueEx(server, "", &type, reinterpret_cast<reg::BYTE*>(path), &size);
    reg::RegCloseKey(server);
    if (rc != reg::ERROR_SUCCESS || type != reg::REG_SZ) return {};
    return std::string(path, ::strnlen(path, size));
}

// Registers as comrt-register would: the driver's own DllRegisterServer.
void EnsureRegistered(const fs::path& driver) {
    if (SameFile(RegisteredDriver(), driver)) return;
    void* library = ::dlopen(driver.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) throw DriverFailure("cannot load " + driver.string() + ": " + ::dlerror());
    using RegisterFn = HRESULT (*)();
    auto registerServer = reinterpret_cast<RegisterFn>(::dlsym(library, "DllRegisterServer"));
    const HRESULT hr = registerServer != nullptr ? registerServer() : E_FAIL;
    ::dlclose(library);
    if (FAILED(hr)) throw DriverFailure("cannot register " + driver.string() + ": " + HresultText(hr));
}

velmora::ComPtr<IADC3> CreateDriver() {
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(Ascii16(PROGID_Lintara).c_str(), &clsid);
    velmora::ComPtr<IADC3> adc;
    if (SUCCEEDED(hr)) hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IADC3, adc.put_void());
    if (FAILED(hr))
        throw DriverFailure("cannot create " + std::string(PROGID_Lintara) + ": " + HresultText(hr));
    return adc;
}

std::string HresultText(HRESULT hr) {
    char number[16];
    std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(hr));
    const auto code = static_cast<uint32_t>(hr);
    std::string text;
    if ((code >> 16) == 0x8007) text = reg::FormatMessage(code & 0xFFFF); // a Win32 code
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.'))
        text.pop_back();
    return text.empty() ? std::string("error ") + number : text + " (" + number + ")";
}

} // namespace lintara
