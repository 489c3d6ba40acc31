#include "driver_access.h"

#include <velmora/registry_store.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace velmora::hosts {
namespace {

namespace fs = std::filesystem;
namespace reg = velmora::reg;

std::string Ascii(std::u16string_view text) {
    return {text.begin(), text.end()};
}

std::string ClsidText(const CLSID& clsid) {
    char16_t wide[40] = {};
    const int length = StringFromGUID2(clsid, wide, 40);
    return Ascii({wide, static_cast<std::size_t>(std::max(length - 1, 0))});
}

} // namespace

bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return !a.empty() && fs::equivalent(a, b, ec);
}

std::string StoreRemedy(uint32_t code) {
    if (code != reg::ERROR_REGISTRY_CORRUPT) return {};
    return "; move " + fs::path(reg::StorePath()).parent_path().string() +
           " aside to start a new store (every setting back at its default)";
}

bool RegisterDriver(const fs::path& path, std::string& error) {
    void* library = ::dlopen(path.c_str(), RTLD_NOW);
    if (library == nullptr) {
        error = std::string("cannot load ") + ::dlerror(); // which names the file
        return false;
    }
    using RegisterFn = HRESULT (*)();
    auto registerServer = reinterpret_cast<RegisterFn>(::dlsym(library, "DllRegisterServer"));
    const HRESULT hr = registerServer != nullptr ? registerServer() : E_FAIL;
    ::dlclose(library);
    if (FAILED(hr))
        error = "cannot register " + path.string() + " in the registry store " + reg::StorePath() + ": " +
                HresultText(hr) + StoreRemedy(static_cast<uint32_t>(hr) & 0xFFFF);
    // The driver's one refusal of its own: a path the store, which keeps
    // Latin-1 text, cannot hold.
    if (hr == SELFREG_E_CLASS) error += " (its folder's path has characters outside Latin-1)";
    return SUCCEEDED(hr);
}

namespace {

// This program's folder as it was started: a program linked into another
// folder belongs to that folder (and takes the driver and address list there).
fs::path ProgramFolder() {
    Dl_info info{};
    std::error_code ec;
    fs::path file;
    if (::dladdr(reinterpret_cast<const void*>(&ProgramFolder), &info) != 0 && info.dli_fname != nullptr)
        file = info.dli_fname;
    if (file.empty() || !fs::exists(file, ec)) file = fs::read_symlink("/proc/self/exe", ec);
    return fs::absolute(file, ec).lexically_normal().parent_path();
}

} // namespace

fs::path DriverBeside() {
    const fs::path folder = ProgramFolder();
    std::error_code ec;
    for (const fs::path& path : {folder / "Lintara.adc", folder / ".." / "lib" / "velmora" / "Lintara.adc"})
        if (fs::is_regular_file(path, ec)) return fs::canonical(path, ec);
    return {};
}

std::string RegisteredDriver() {
    const std::string key = "CLSID\\" + ClsidText(CLSID_Lintara) + "\\InprocServer32";
    reg::HKEY server = 0;
    if (reg::RegOpenKeyEx(reg::HKEY_CLASSES_ROOT, key.c_str(), reg::KEY_READ, &server) != reg::ERROR_SUCCESS)
        return {};
    char path[4096];
    reg::DWORD size = sizeof path, type = 0;
    const LONG rc = reg::RegQueryValueEx(server, "", &type, reinterpret_cast<reg::BYTE*>(path), &size);
    reg::RegCloseKey(server);
    if (rc != reg::ERROR_SUCCESS || type != reg::REG_SZ) return {};
    return std::string(path, ::strnlen(path, size));
}

std::string ReplacedDriverNote(const std::string& registered, const fs::path& beside) {
    if (registered.empty()) return {};
    std::error_code ec;
    return (fs::exists(registered, ec) ? "the store names the driver " + registered + ", not this one"
                                       : "the registered driver " + registered + " is gone") +
           "; registering " + beside.string();
}

ComPtr<IADC3> CreateByProgId(std::string& error) {
    CLSID clsid{};
    ComPtr<IADC3> adc;
    HRESULT hr = CLSIDFromProgID(PROGID_Lintara, &clsid);
    if (SUCCEEDED(hr)) hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IADC3, adc.put_void());
    if (FAILED(hr)) error = "cannot create " + Ascii(PROGID_Lintara) + ": " + HresultText(hr);
    return adc;
}

ComPtr<IADC3> CreateDriver(const char* program, std::string& error, std::FILE* notes) {
    const fs::path beside = DriverBeside();
    const std::string registered = RegisteredDriver();
    if (!beside.empty() && !SameFile(registered, beside)) {
        if (const std::string note = ReplacedDriverNote(registered, beside); !note.empty())
            std::fprintf(notes, "%s: %s\n", program, note.c_str());
        if (!RegisterDriver(beside, error)) return {};
    }
    return CreateByProgId(error);
}

SAFEARRAY* Int16Array(const std::vector<int16_t>& values) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I2, 0, static_cast<ULONG>(values.size()));
    void* data = nullptr;
    if (array == nullptr || FAILED(SafeArrayAccessData(array, &data))) {
        SafeArrayDestroy(array);
        return nullptr;
    }
    std::copy(values.begin(), values.end(), static_cast<int16_t*>(data));
    SafeArrayUnaccessData(array);
    return array;
}

std::vector<int16_t> TakeInt16s(SAFEARRAY* array) {
    std::vector<int16_t> values;
    void* data = nullptr;
    if (array != nullptr && SUCCEEDED(SafeArrayAccessData(array, &data))) {
        const auto* first = static_cast<const int16_t*>(data);
        values.assign(first, first + array->rgsabound[0].cElements);
        SafeArrayUnaccessData(array);
    }
    SafeArrayDestroy(array);
    return values;
}

std::string HresultHex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

std::string SystemText(uint32_t code) {
    const std::string text = reg::FormatMessage(code);
    return text.empty() ? "error " + std::to_string(code) : text.substr(0, text.find_first_of(".\r\n"));
}

std::string HresultText(HRESULT hr) {
    const auto bits = static_cast<uint32_t>(hr);
    const bool system = (bits & 0xFFFF0000u) == 0x80070000u && !reg::FormatMessage(bits & 0xFFFFu).empty();
    return system ? SystemText(bits & 0xFFFFu) + " (" + HresultHex(hr) + ")" : HresultHex(hr);
}

} // namespace velmora::hosts
