#include "host.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <dlfcn.h>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

#include <velmora/registry_store.h>

extern char** environ;

namespace e2e {
namespace {

namespace reg = velmora::reg;

template <typename Fn> bool WithKey(reg::HKEY root, const std::string& path, bool create, Fn fn) {
    reg::HKEY key = 0;
    const reg::LONG opened = create
                                 ? reg::RegCreateKeyEx(root, path.c_str(), reg::KEY_ALL_ACCESS, &key, nullptr)
                                 : reg::RegOpenKeyEx(root, path.c_str(), reg::KEY_READ, &key);
    const bool ok = opened == reg::ERROR_SUCCESS && fn(key);
    reg::RegCloseKey(key);
    return ok;
}

// The current test alone in a new process of this program; its exit status.
int RunSelf() {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string self = fs::read_symlink("/proc/self/exe").string(), brief = "--gtest_brief=1";
    std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    char* argv[] = {self.data(), filter.data(), brief.data(), nullptr};
    pid_t pid = 0;
    int status = -1;
    if (::posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, environ) != 0) return -1;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int CountThreads() {
    return static_cast<int>(
        std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator()));
}

} // namespace

std::u16string Take(BSTR text) {
    std::u16string copy = text == nullptr ? u"" : std::u16string(text, SysStringLen(text));
    SysFreeString(text);
    return copy;
}

SAFEARRAY* Int16Vector(const std::vector<int16_t>& values) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I2, 0, static_cast<ULONG>(values.size()));
    if (!values.empty()) std::memcpy(array->pvData, values.data(), values.size() * sizeof(int16_t));
    return array;
}

std::vector<int16_t> Int16Elements(SAFEARRAY* array) {
    size_t count = 1;
    for (USHORT d = 0; d < array->cDims; ++d) count *= array->rgsabound[d].cElements;
    const auto* data = static_cast<const int16_t*>(array->pvData);
    return std::vector<int16_t>(data, data + count);
}

HRESULT Dispatcher::Invoke(std::u16string name, WORD flags, std::vector<VARIANT> args,
                           VARIANT* result) const {
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN, named = DISPID_PROPERTYPUT;
    target_->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
    std::reverse(args.begin(), args.end());
    const bool put = flags == DISPATCH_PROPERTYPUT;
    DISPPARAMS params{args.data(), put ? &named : nullptr, static_cast<UINT>(args.size()), put ? 1u : 0u};
    UINT argErr = 0;
    return target_->Invoke(id, IID_NULL, 0, flags, &params, result, nullptr, &argErr);
}

const fs::path& DriverFolder() {
    static velmora::test::TempDir own;
    static const fs::path folder = [] {
        const char* given = std::getenv("E2E_DRIVER_FOLDER");
        if (given == nullptr) LinkDriverInto(own.path());
        return given != nullptr ? fs::path(given) : own.path();
    }();
    return folder;
}

void LinkDriverInto(const fs::path& folder) {
    fs::create_symlink(E2E_LINTARA_FILE, folder / "Lintara.adc");
    fs::create_symlink(E2E_SIMULATOR_FILE, folder / "libe16sim.so");
}

void WriteAddressList(const std::string& text) {
    std::ofstream(DriverFolder() / "iplist.txt", std::ios::binary) << text;
}

HRESULT CallEntry(const char* name) {
    static void* library = ::dlopen((DriverFolder() / "Lintara.adc").c_str(), RTLD_NOW | RTLD_LOCAL);
    auto entry = reinterpret_cast<HRESULT (*)()>(library != nullptr ? ::dlsym(library, name) : nullptr);
    return entry != nullptr ? entry() : E_FAIL;
}

ComPtr<IADC3> CreateAdc() {
    CLSID clsid{};
    ComPtr<IADC3> adc;
    EXPECT_EQ(CLSIDFromProgID(u"Velmora.Lintara", &clsid), S_OK);
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IADC3, adc.put_void()), S_OK);
    if (!adc) std::exit(3); // nothing can follow; the test's parent reports it
    return adc;
}

ComPtr<IADC3> DetectedAdc() {
    ComPtr<IADC3> adc = CreateAdc();
    VARIANT_BOOL found = VARIANT_FALSE;
    int16_t port = 0;
    adc->Test(&found);
    adc->get_BasePort(&port);
    EXPECT_EQ(found, VARIANT_TRUE);
    EXPECT_NE(port, 0);
    EXPECT_EQ(LastError(adc.get()), u"");
    return adc;
}

void Select(IADC3* adc, const std::vector<int16_t>& channels) {
    SAFEARRAY* table = Int16Vector(channels);
    EXPECT_EQ(adc->put_InputChannels(&table), S_OK);
    SafeArrayDestroy(table);
}

std::u16string LastError(IADC3* adc) {
    BSTR text = nullptr;
    EXPECT_EQ(adc->get_LastError(&text), S_OK);
    return Take(text);
}

bool SetValue(const std::string& key, const std::string& name, uint32_t type, const std::string& data) {
    return WithKey(reg::HKEY_CURRENT_USER, key, true, [&](reg::HKEY k) {
        return reg::RegSetValueEx(k, name.c_str(), type, reinterpret_cast<const uint8_t*>(data.data()),
                                  static_cast<reg::DWORD>(data.size())) == reg::ERROR_SUCCESS;
    });
}

std::string ReadValue(const std::string& key, const std::string& name, bool classes) {
    std::string data(4096, '\0');
    auto size = static_cast<reg::DWORD>(data.size());
    const bool read =
        WithKey(classes ? reg::HKEY_CLASSES_ROOT : reg::HKEY_CURRENT_USER, key, false, [&](reg::HKEY k) {
            auto* bytes = reinterpret_cast<uint8_t*>(data.data());
            return reg::RegQueryValueEx(k, name.c_str(), nullptr, bytes, &size) == reg::ERROR_SUCCESS;
        });
    data.resize(read ? size : 0);
    return data;
}

bool KeyExists(const std::string& classesKey) {
    return WithKey(reg::HKEY_CLASSES_ROOT, classesKey, false, [](reg::HKEY) { return true; });
}

void DeleteValue(const std::string& key, const std::string& name) {
    WithKey(reg::HKEY_CURRENT_USER, key, false,
            [&](reg::HKEY k) { return reg::RegDeleteValue(k, name.c_str()); });
}

std::string Phase() {
    const char* phase = std::getenv("E2E_PHASE");
    return phase != nullptr ? phase : "";
}

int RunPhase(const char* phase) {
    velmora::test::ScopedEnv named("E2E_PHASE", phase);
    return RunSelf();
}

void RunFresh(void (*body)()) {
    if (std::getenv("E2E_FRESH") == nullptr) {
        velmora::test::PrivateStore store;
        velmora::test::ScopedEnv fresh("E2E_FRESH", "1");
        EXPECT_EQ(RunSelf(), 0) << "the test failed in its own process";
        return;
    }
    // The console dialogs answer the address chooser, and with standard input
    // not a terminal they take the preselected address without asking.
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ASSERT_NE(std::freopen("/dev/null", "r", stdin), nullptr);
    // A sanitizer runtime may start a helper thread along with the first
    // thread the program creates: let that happen, and the first one end.
    pid_t first = 0;
    std::thread([&first] { first = ::gettid(); }).join();
    for (int i = 0; i < 1000 && fs::exists("/proc/self/task/" + std::to_string(first)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const int threads = CountThreads();
    e16sim_reset();
    ASSERT_EQ(CallEntry("DllRegisterServer"), S_OK);
    body();
    EXPECT_EQ(CallEntry("DllCanUnloadNow"), S_OK) << "a driver object or server lock was left behind";
    // A joined thread may stay listed for a moment after its join returns.
    for (int i = 0; i < 100 && CountThreads() > threads; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(CountThreads(), threads) << "a thread was left behind";
}

std::string ChannelTable(std::initializer_list<std::pair<int, int>> changes) {
    std::string table(32, '\0');
    for (int k = 0; k < 32; ++k) table[k] = static_cast<char>(k);
    for (auto [logical, entry] : changes) table[logical] = static_cast<char>(entry);
    return table;
}

} // namespace e2e
