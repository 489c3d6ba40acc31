#include "driver_access.h"

#include <velmora/registry_store.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string_view>
#include <vector>

namespace velmora::hosts {
namespace {

namespace fs = std::filesystem;
namespace reg = velmora::reg;

std::u16string Ascii16(std::string_view text) {
    return {text.begin(), text.end()};
}

std::string ClsidText(const CLSID& clsid) {
    char16_t wide[40] = {};
    const int length = StringFromGUID2(clsid, wide, 40);
    std::string text;
    for (int i = 0; i + 1 < length; ++i) text.push_back(static_cast<char>(wide[i]));
    return text;
}

} // namespace

bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return !a.empty() && fs::equivalent(a, b, ec);
}

bool RegisterDriver(const fs::path& path, std::string& error) {
    void* library = ::dlopen(path.c_str(), RTLD_NOW);
    if (library == nullptr) {
        error = "cannot load " + path.string() + ": " + ::dlerror();
        return false;
    }
    using RegisterFn = HRESULT (*)();
    auto registerServer = reinterpret_cast<RegisterFn>(::dlsym(library, "DllRegisterServer"));
    const HRESULT hr = registerServer != nullptr ? registerServer() : E_FAIL;
    ::dlclose(library);
    if (FAILED(hr)) error = "cannot register " + path.string() + ": " + HresultHex(hr);
    return SUCCEEDED(hr);
}

namespace {

// The path of the first library mapped into this process whose name starts with `stem`.
std::string LoadedPath(std::string_view stem) {
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        const auto slash = line.find('/');
        if (slash == std::string::npos) continue;
        std::string path = line.substr(slash);
        if (fs::path(path).filename().string().starts_with(stem)) return path;
    }
    return {};
}

} // namespace

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

HRESULT CreateByProgId(ComPtr<IADC3>& adc) {
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(Ascii16(PROGID_Lintara).c_str(), &clsid);
    if (SUCCEEDED(hr)) hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IADC3, adc.put_void());
    return hr;
}

ComPtr<IADC3> CreateDriver(const char* program, std::string& error, std::FILE* notes) {
    const fs::path beside = DriverBeside();
    const std::string registered = RegisteredDriver();
    if (!beside.empty() && !SameFile(registered, beside)) {
        std::error_code ec;
        if (!registered.empty())
            std::fprintf(notes, "%s: the registered driver %s %s; registering %s\n", program,
                         registered.c_str(),
                         fs::exists(registered, ec) ? "is not the one beside this program" : "is gone",
                         beside.c_str());
        if (!RegisterDriver(beside, error)) return {};
    }
    ComPtr<IADC3> adc;
    if (const HRESULT hr = CreateByProgId(adc); FAILED(hr)) {
        error = "cannot create " + std::string(PROGID_Lintara) + ": " + HresultHex(hr);
        return {};
    }
    return adc;
}

std::string LoadedBackend() {
    for (const char* vendor : {"libx502api.so", "libe502api.so"})
        if (const std::string path = LoadedPath(vendor); !path.empty())
            return "vendor library " + fs::canonical(path).string();
    if (const std::string path = LoadedPath("libe16sim.so"); !path.empty())
        return "simulated module (" + path + ")";
    return "no module library loaded";
}

fs::path DriverFolder() {
    const std::string path = LoadedPath("Lintara.adc");
    return path.empty() ? fs::path() : fs::path(path).parent_path();
}

namespace {

// Parses "a.b.c.d" with each part 0..255; 0 for anything else.
uint32_t DottedAddress(std::string_view text) {
    uint32_t address = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (text.empty() || text.front() != '.') return 0;
            text.remove_prefix(1);
        }
        uint32_t value = 0;
        std::size_t digits = 0;
        for (; digits < text.size() && digits < 4 && text[digits] >= '0' && text[digits] <= '9'; ++digits)
            value = value * 10 + static_cast<uint32_t>(text[digits] - '0');
        if (digits == 0 || digits > 3 || value > 255) return 0;
        text.remove_prefix(digits);
        address = address << 8 | value;
    }
    return text.empty() ? address : 0;
}

} // namespace

std::string ModuleAddress(IADC3* adc) {
    int16_t port = 0;
    if (adc == nullptr || FAILED(adc->get_BasePort(&port)) || port == 0) return {};
    std::vector<std::string> candidates{"127.0.0.1"};
    const fs::path folder = DriverFolder();
    for (const fs::path& list :
         {folder / "iplist.txt", fs::path(reg::StorePath()).parent_path() / "iplist.txt"}) {
        std::ifstream in(list);
        for (std::string line; candidates.size() < 10000 && std::getline(in, line);) {
            while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
            candidates.push_back(line);
        }
    }
    for (const std::string& text : candidates) {
        const uint32_t address = DottedAddress(text);
        if (address != 0 && static_cast<int16_t>((address & 0x7FFF) + 1) == port) return text;
    }
    return {};
}

std::string Utf8(BSTR text) {
    std::string out;
    const UINT length = SysStringLen(text);
    for (UINT i = 0; i < length; ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        // The lead byte, then six bits a byte from the top.
        const int extra = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
        static constexpr unsigned char kLead[] = {0x00, 0xC0, 0xE0, 0xF0};
        out += static_cast<char>(kLead[extra] | (c >> (6 * extra)));
        for (int k = extra - 1; k >= 0; --k) out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
    }
    return out;
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

namespace {
constexpr int kSilenceSeconds = 5;
} // namespace

bool SilentSince(std::chrono::steady_clock::time_point lastData, double rate) {
    const std::chrono::duration<double> quiet = std::chrono::steady_clock::now() - lastData;
    return quiet.count() > kSilenceSeconds + 1.0 / rate;
}

std::string SilenceText(const std::string& lastError) {
    return "no data for " + std::to_string(kSilenceSeconds) + " s" +
           (lastError.empty() ? std::string() : ": " + lastError);
}

} // namespace velmora::hosts
