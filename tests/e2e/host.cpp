#include "host.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "settings/registry_store.h"

extern char** environ;

namespace e2e {
namespace {

namespace reg = velmora::reg;

VARIANT Make(VARTYPE vt) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    return v;
}

VARTYPE ElementType(SAFEARRAY* array) {
    VARTYPE vt = VT_EMPTY;
    SafeArrayGetVartype(array, &vt);
    return vt;
}

// The folder this process made for itself; removed at exit.
class OwnFolder {
public:
    OwnFolder() {
        std::string pattern = (fs::temp_directory_path() / "velmora-e2e-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
        LinkDriverInto(path_);
    }
    ~OwnFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

void* DriverLibrary() {
    static void* library = ::dlopen((DriverFolder() / "Lintara.adc").c_str(), RTLD_NOW | RTLD_LOCAL);
    return library;
}

HRESULT CallEntry(const char* name) {
    auto entry = reinterpret_cast<LPFNREGISTERSERVER>(DriverSymbol(name));
    return entry != nullptr ? entry() : E_FAIL;
}

template <typename Fn> bool WithKey(reg::HKEY root, const std::string& path, bool create, Fn fn) {
    reg::HKEY key = 0;
    const reg::LONG opened = create
                                 ? reg::RegCreateKeyEx(root, path.c_str(), reg::KEY_ALL_ACCESS, &key, nullptr)
                                 : reg::RegOpenKeyEx(root, path.c_str(), reg::KEY_READ, &key);
    if (opened != reg::ERROR_SUCCESS) return false;
    const bool ok = fn(key);
    reg::RegCloseKey(key);
    return ok;
}

bool QueryValue(reg::HKEY root, const std::string& path, const std::string& name, std::vector<uint8_t>* data,
                reg::DWORD* type) {
    return WithKey(root, path, false, [&](reg::HKEY key) {
        reg::DWORD size = 0;
        if (reg::RegQueryValueEx(key, name.c_str(), type, nullptr, &size) != reg::ERROR_SUCCESS) return false;
        data->resize(size);
        return reg::RegQueryValueEx(key, name.c_str(), type, data->data(), &size) == reg::ERROR_SUCCESS;
    });
}

} // namespace

VARIANT I2(int16_t value) {
    VARIANT v = Make(VT_I2);
    v.iVal = value;
    return v;
}

VARIANT I4(int32_t value) {
    VARIANT v = Make(VT_I4);
    v.lVal = value;
    return v;
}

VARIANT R4(float value) {
    VARIANT v = Make(VT_R4);
    v.fltVal = value;
    return v;
}

VARIANT R8(double value) {
    VARIANT v = Make(VT_R8);
    v.dblVal = value;
    return v;
}

VARIANT Text(const std::u16string& text) {
    VARIANT v = Make(VT_BSTR);
    v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return v;
}

VARIANT RefI2(int16_t* value) {
    VARIANT v = Make(VT_BYREF | VT_I2);
    v.piVal = value;
    return v;
}

VARIANT RefI4(int32_t* value) {
    VARIANT v = Make(VT_BYREF | VT_I4);
    v.plVal = value;
    return v;
}

VARIANT RefR8(double* value) {
    VARIANT v = Make(VT_BYREF | VT_R8);
    v.pdblVal = value;
    return v;
}

VARIANT ArrayOf(SAFEARRAY* array) {
    VARIANT v = Make(static_cast<VARTYPE>(VT_ARRAY | ElementType(array)));
    v.parray = array;
    return v;
}

VARIANT RefArray(SAFEARRAY** array) {
    VARIANT v = Make(static_cast<VARTYPE>(VT_BYREF | VT_ARRAY | ElementType(*array)));
    v.pparray = array;
    return v;
}

std::u16string Str(BSTR text) {
    return text == nullptr ? std::u16string() : std::u16string(text, SysStringLen(text));
}

std::string Utf8(BSTR text) {
    return Utf8(Str(text));
}

std::string Utf8(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) { // the driver's texts stay in the first plane
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

SAFEARRAY* Int16Vector(const std::vector<int16_t>& values, LONG lowerBound) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I2, lowerBound, static_cast<ULONG>(values.size()));
    if (!values.empty()) std::memcpy(array->pvData, values.data(), values.size() * sizeof(int16_t));
    return array;
}

SAFEARRAY* Int32Vector(const std::vector<int32_t>& values, LONG lowerBound) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I4, lowerBound, static_cast<ULONG>(values.size()));
    if (!values.empty()) std::memcpy(array->pvData, values.data(), values.size() * sizeof(int32_t));
    return array;
}

std::vector<int16_t> Int16Elements(SAFEARRAY* array) {
    if (array == nullptr || ElementType(array) != VT_I2) return {};
    size_t count = 1;
    for (UINT d = 1; d <= SafeArrayGetDim(array); ++d) {
        LONG lower = 0, upper = -1;
        SafeArrayGetLBound(array, d, &lower);
        SafeArrayGetUBound(array, d, &upper);
        count *= static_cast<size_t>(upper - lower + 1);
    }
    const auto* data = static_cast<const int16_t*>(array->pvData);
    return std::vector<int16_t>(data, data + count);
}

std::vector<std::u16string> StringElements(SAFEARRAY* array) {
    std::vector<std::u16string> texts;
    LONG lower = 0, upper = -1;
    if (array == nullptr || ElementType(array) != VT_BSTR || FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper))) {
        return texts;
    }
    for (LONG i = lower; i <= upper; ++i) texts.push_back(Str(static_cast<BSTR*>(array->pvData)[i - lower]));
    return texts;
}

DISPID Dispatcher::Id(const std::u16string& name) const {
    std::u16string copy = name;
    LPOLESTR names[] = {copy.data()};
    DISPID id = DISPID_UNKNOWN;
    return SUCCEEDED(target_->GetIDsOfNames(IID_NULL, names, 1, 0, &id)) ? id : DISPID_UNKNOWN;
}

HRESULT Dispatcher::Invoke(DISPID id, WORD flags, std::vector<VARIANT> args, VARIANT* result,
                           UINT* argErr) const {
    std::reverse(args.begin(), args.end());
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    if (flags == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &named;
        params.cNamedArgs = 1;
    }
    UINT ignored = 0;
    return target_->Invoke(id, IID_NULL, 0, flags, &params, result, nullptr,
                           argErr != nullptr ? argErr : &ignored);
}

HRESULT Dispatcher::Get(const std::u16string& name, VARIANT* result, std::vector<VARIANT> args) const {
    return Invoke(Id(name), DISPATCH_PROPERTYGET, std::move(args), result);
}

HRESULT Dispatcher::Call(const std::u16string& name, VARIANT* result, std::vector<VARIANT> args) const {
    return Invoke(Id(name), DISPATCH_METHOD | DISPATCH_PROPERTYGET, std::move(args), result);
}

HRESULT Dispatcher::Put(const std::u16string& name, std::vector<VARIANT> args) const {
    return Invoke(Id(name), DISPATCH_PROPERTYPUT, std::move(args), nullptr);
}

const fs::path& DriverFolder() {
    static const fs::path folder = [] {
        if (const char* given = std::getenv("E2E_DRIVER_FOLDER")) return fs::path(given);
        static OwnFolder own;
        return own.path();
    }();
    return folder;
}

void LinkDriverInto(const fs::path& folder) {
    fs::create_directories(folder);
    fs::create_symlink(E2E_LINTARA_FILE, folder / "Lintara.adc");
    fs::create_symlink(E2E_SIMULATOR_FILE, folder / "libe16sim.so");
}

void WriteAddressList(const std::string& text) {
    const fs::path file = DriverFolder() / "iplist.txt";
    std::error_code ec;
    fs::remove(file, ec);
    if (!text.empty()) std::ofstream(file, std::ios::binary) << text;
}

HRESULT RegisterDriver() {
    return CallEntry("DllRegisterServer");
}

HRESULT UnregisterDriver() {
    return CallEntry("DllUnregisterServer");
}

void* DriverSymbol(const char* name) {
    void* library = DriverLibrary();
    return library != nullptr ? ::dlsym(library, name) : nullptr;
}

HRESULT CreateDriver(REFIID riid, void** object) {
    CLSID clsid{};
    const HRESULT hr = CLSIDFromProgID(u"Velmora.Lintara", &clsid);
    if (FAILED(hr)) return hr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, riid, object);
}

Ptr<IADC3> CreateAdc() {
    Ptr<IADC3> adc;
    CreateDriver(IID_IADC3, adc.outVoid());
    return adc;
}

int CountThreads() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/task")) {
        while (const dirent* entry = ::readdir(dir)) count += entry->d_name[0] != '.' ? 1 : 0;
        ::closedir(dir);
    }
    return count;
}

int SettleThreads(int expected) {
    int count = CountThreads();
    // A joined thread may stay listed for a moment after its join returns.
    for (int i = 0; i < 100 && count > expected; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        count = CountThreads();
    }
    return count;
}

bool SetBinary(const std::string& key, const std::string& name, const std::vector<uint8_t>& bytes) {
    return WithKey(reg::HKEY_CURRENT_USER, key, true, [&](reg::HKEY k) {
        return reg::RegSetValueEx(k, name.c_str(), reg::REG_BINARY, bytes.data(),
                                  static_cast<reg::DWORD>(bytes.size())) == reg::ERROR_SUCCESS;
    });
}

bool SetDword(const std::string& key, const std::string& name, uint32_t value) {
    return WithKey(reg::HKEY_CURRENT_USER, key, true, [&](reg::HKEY k) {
        return reg::RegSetValueEx(k, name.c_str(), reg::REG_DWORD, reinterpret_cast<const uint8_t*>(&value),
                                  sizeof value) == reg::ERROR_SUCCESS;
    });
}

bool ReadBinary(const std::string& key, const std::string& name, std::vector<uint8_t>* bytes) {
    reg::DWORD type = 0;
    return QueryValue(reg::HKEY_CURRENT_USER, key, name, bytes, &type) && type == reg::REG_BINARY;
}

bool ReadDword(const std::string& key, const std::string& name, uint32_t* value) {
    std::vector<uint8_t> data;
    reg::DWORD type = 0;
    if (!QueryValue(reg::HKEY_CURRENT_USER, key, name, &data, &type) || type != reg::REG_DWORD ||
        data.size() != sizeof *value) {
        return false;
    }
    std::memcpy(value, data.data(), sizeof *value);
    return true;
}

bool DeleteValue(const std::string& key, const std::string& name) {
    return WithKey(reg::HKEY_CURRENT_USER, key, true,
                   [&](reg::HKEY k) { return reg::RegDeleteValue(k, name.c_str()) == reg::ERROR_SUCCESS; });
}

std::string ReadClassesText(const std::string& key, const std::string& name) {
    std::vector<uint8_t> data;
    reg::DWORD type = 0;
    if (!QueryValue(reg::HKEY_CLASSES_ROOT, key, name, &data, &type) || type != reg::REG_SZ) return {};
    std::string text(data.begin(), data.end());
    return text.substr(0, text.find('\0'));
}

bool ClassesKeyExists(const std::string& key) {
    return WithKey(reg::HKEY_CLASSES_ROOT, key, false, [](reg::HKEY) { return true; });
}

std::vector<uint8_t> RampChannelTable() {
    std::vector<uint8_t> table(32);
    for (uint8_t k = 0; k < 32; ++k) table[k] = k;
    table[31] = 31 | 32;
    return table;
}

ChildResult RunChild(const std::string& name, const std::vector<std::pair<std::string, std::string>>& env) {
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const bool replaced = std::any_of(env.begin(), env.end(),
                                          [&](const auto& kv) { return entry.starts_with(kv.first + "="); });
        if (!replaced) environment.push_back(entry);
    }
    for (const auto& [key, value] : env) environment.push_back(key + "=" + value);
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string self = fs::read_symlink("/proc/self/exe").string();
    std::string flag = "--e2e-child=" + name;
    char* argv[] = {self.data(), flag.data(), nullptr};

    int pipeFds[2];
    ChildResult result;
    if (::pipe(pipeFds) != 0) return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) result.output.append(buffer, n);
    ::close(pipeFds[0]);
    int status = 0;
    if (spawned == 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    return result;
}

} // namespace e2e
