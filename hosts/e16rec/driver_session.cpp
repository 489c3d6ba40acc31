#include "driver_session.h"

#include "comrt/hresult_text.h"
#include "platform/codepage.h"
#include "platform/module_folder.h"

#include <velmora/registry_store.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "ui/ip_chooser_model.h"
#include "ui/ip_edit_model.h"

namespace e16rec {
namespace {

namespace reg = velmora::reg;

constexpr const char* kDriverKey = "Software\\Tervan\\ADC\\L-Card\\E16";

HRESULT CreateByProgId(void** adc) {
    const std::u16string progId = velmora::platform::Utf8ToUtf16(PROGID_Lintara);
    CLSID clsid{};
    const HRESULT hr = CLSIDFromProgID(progId.c_str(), &clsid);
    if (FAILED(hr)) return hr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IADC3, adc);
}

// Registers the driver as comrt-register would.
bool RegisterDriver(const std::filesystem::path& path, std::string& error) {
    void* library = ::dlopen(path.c_str(), RTLD_NOW);
    if (library == nullptr) {
        error = "cannot load " + path.string() + ": " + ::dlerror();
        return false;
    }
    using RegisterFn = HRESULT (*)();
    auto registerServer = reinterpret_cast<RegisterFn>(::dlsym(library, "DllRegisterServer"));
    const HRESULT hr = registerServer != nullptr ? registerServer() : E_FAIL;
    ::dlclose(library);
    if (FAILED(hr)) error = "cannot register " + path.string() + ": " + HresultText(hr);
    return SUCCEEDED(hr);
}

std::string ClsidText(const CLSID& c) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", c.Data1, c.Data2,
                  c.Data3, c.Data4[0], c.Data4[1], c.Data4[2], c.Data4[3], c.Data4[4], c.Data4[5], c.Data4[6],
                  c.Data4[7]);
    return text;
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec);
}

} // namespace

std::filesystem::path DriverBeside() {
    const auto folder = velmora::platform::ModuleFolder();
    for (const auto& path : {folder / "Lintara.adc", folder / ".." / "lib" / "velmora" / "Lintara.adc"}) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(path, ec)) return std::filesystem::canonical(path, ec);
    }
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

bool DriverSession::Create(std::string& error, std::FILE* notes) {
    const std::filesystem::path beside = DriverBeside();
    const std::string registered = RegisteredDriver();
    if (!beside.empty() && !SameFile(registered, beside)) {
        std::error_code ec;
        if (!registered.empty())
            std::fprintf(notes, "e16rec: the registered driver %s %s; registering %s\n", registered.c_str(),
                         std::filesystem::exists(registered, ec) ? "is not the one beside this program"
                                                                 : "is gone",
                         beside.c_str());
        if (!RegisterDriver(beside, error)) return false;
    }
    HRESULT hr = CreateByProgId(adc_.put_void());
    if (FAILED(hr)) {
        adc_.reset();
        error = "cannot create " + std::string(PROGID_Lintara) + ": " + HresultText(hr);
        return false;
    }
    return true;
}

bool DetectModule(IADC3* adc, std::string& error) {
    VARIANT_BOOL detected = VARIANT_FALSE;
    adc->Test(&detected);
    if (detected) return true;
    BSTR text = nullptr;
    adc->get_LastError(&text);
    const std::string why = ToUtf8(text);
    SysFreeString(text);
    error = "no module: " + (why.empty() ? std::string("no address was chosen") : why);
    return false;
}

bool StoreChannelTable(bool singleEnded, std::string& error) {
    std::vector<uint8_t> table(32);
    for (int k = 0; k < 32; ++k) table[k] = static_cast<uint8_t>(k | (singleEnded ? 32 : 0));
    const auto store = [&](reg::HKEY key) {
        return reg::RegSetValueEx(key, "ADChannels", reg::REG_BINARY, table.data(), 32);
    };
    reg::HKEY key = 0;
    LONG rc = reg::RegCreateKeyEx(reg::HKEY_CURRENT_USER, kDriverKey, reg::KEY_ALL_ACCESS, &key, nullptr);
    if (rc == reg::ERROR_SUCCESS) rc = store(key);
    for (reg::DWORD i = 0; rc == reg::ERROR_SUCCESS; ++i) {
        char name[256];
        reg::DWORD size = sizeof name;
        if (reg::RegEnumKeyEx(key, i, name, &size) != reg::ERROR_SUCCESS) break;
        reg::HKEY module = 0;
        rc = reg::RegOpenKeyEx(key, name, reg::KEY_WRITE, &module);
        if (rc != reg::ERROR_SUCCESS) break;
        rc = store(module);
        reg::RegCloseKey(module);
    }
    if (key != 0) reg::RegCloseKey(key);
    if (rc != reg::ERROR_SUCCESS) error = "cannot store the channel table: " + reg::FormatMessage(rc);
    return rc == reg::ERROR_SUCCESS;
}

std::string TableChannelName(int16_t channel, bool singleEnded) {
    const int source = channel % 32;
    // Appended rather than "X" + to_string(...): GCC 12 warns falsely about
    // the latter at -O3.
    if (singleEnded) return std::string(source < 16 ? "X" : "Y").append(std::to_string(source % 16 + 1));
    return source < 16 ? std::string("XY").append(std::to_string(source + 1)) : "Calibration 0";
}

namespace {

// The paths of the libraries mapped into this process.
std::vector<std::string> LoadedLibraries() {
    std::vector<std::string> paths;
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        const auto slash = line.find('/');
        if (slash != std::string::npos) paths.push_back(line.substr(slash));
    }
    return paths;
}

std::string LoadedPath(std::string_view stem) {
    for (const std::string& path : LoadedLibraries())
        if (std::filesystem::path(path).filename().string().starts_with(stem)) return path;
    return {};
}

} // namespace

std::string LoadedBackend() {
    for (const char* vendor : {"libx502api.so", "libe502api.so"})
        if (const std::string path = LoadedPath(vendor); !path.empty())
            return "vendor library " + std::filesystem::canonical(path).string();
    if (const std::string path = LoadedPath("libe16sim.so"); !path.empty())
        return "simulated module (" + path + ")";
    return "no module library loaded";
}

std::filesystem::path DriverFolder() {
    const std::string path = LoadedPath("Lintara.adc");
    return path.empty() ? std::filesystem::path() : std::filesystem::path(path).parent_path();
}

AddressAnswer::AddressAnswer(const std::filesystem::path& folder, int32_t address)
    : list_(velmora::ui::AddressListFile(folder)) {
    std::ifstream in(list_, std::ios::binary);
    if (in) {
        std::ostringstream text;
        text << in.rdbuf();
        saved_ = text.str();
    }
    std::ofstream(list_, std::ios::binary | std::ios::trunc) << velmora::ui::DottedText(address) << "\r\n"
                                                             << saved_.value_or("");
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        if (const char* value = std::getenv(name)) {
            hidden_.emplace_back(name, value);
            ::unsetenv(name);
        }
    }
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null >= 0) {
        input_ = ::dup(STDIN_FILENO);
        ::dup2(null, STDIN_FILENO);
        ::close(null);
    }
}

AddressAnswer::~AddressAnswer() {
    if (input_ >= 0) {
        ::dup2(input_, STDIN_FILENO);
        ::close(input_);
    }
    for (const auto& [name, value] : hidden_) ::setenv(name.c_str(), value.c_str(), 1);
    std::error_code ignored;
    if (saved_)
        std::ofstream(list_, std::ios::binary | std::ios::trunc) << *saved_;
    else
        std::filesystem::remove(list_, ignored);
}

std::string ToUtf8(BSTR text) {
    return velmora::platform::Utf16ToUtf8(
        std::u16string_view(text != nullptr ? text : u"", SysStringLen(text)));
}

std::string HresultText(HRESULT hr) {
    return velmora::com::HResultText(hr);
}

} // namespace e16rec
