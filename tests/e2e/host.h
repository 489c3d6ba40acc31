// The test host: what a host program does with the driver, through the public
// headers, libcomrt.so (with its registry store) and the simulator's control
// API only. Every test runs in a fresh process of this program. Host thread only.
#pragma once

#include <gtest/gtest.h>
#include <velmora/com_ptr.h>
#include <velmora/interfaces.h>
#include <velmora/registry_store.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <dlfcn.h>

#include "dispatch_args.h"
#include "e16sim_control.h"
#include "test_support.h"

namespace e2e {

namespace fs = std::filesystem;
namespace reg = velmora::reg;
using namespace velmora::test;
using velmora::ComPtr;

template <typename T> ComPtr<T> Query(IUnknown* object, REFIID iid) {
    ComPtr<T> face;
    EXPECT_EQ(object->QueryInterface(iid, face.put_void()), S_OK);
    return face;
}

// A result VARIANT, cleared at the end of its scope.
struct Var : VARIANT {
    Var() { VariantInit(this); }
    ~Var() { VariantClear(this); }
};

inline std::vector<int16_t> Int16Elements(SAFEARRAY* array) {
    size_t count = 1;
    for (USHORT d = 0; d < array->cDims; ++d) count *= array->rgsabound[d].cElements;
    const auto* data = static_cast<const int16_t*>(array->pvData);
    return std::vector<int16_t>(data, data + count);
}

// Calls member `name` through IDispatch, arguments in natural order: a get or
// a method call, or a let that passes its value last.
inline HRESULT Invoke(IDispatch* target, std::u16string name, VARIANT* result, std::vector<VARIANT> args = {},
                      WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET) {
    UINT argErr = 0;
    return InvokeNatural(target, DispIdOf(target, std::move(name)), flags, args, result, &argErr);
}

// Calls an entry point, such as DllRegisterServer, of the driver in this
// process's own folder of links to the built driver and simulator.
inline HRESULT CallEntry(const char* name) {
    static TempDir folder;
    static void* library = [] {
        fs::create_symlink(E2E_LINTARA_FILE, folder.path() / "Lintara.adc");
        fs::create_symlink(E2E_SIMULATOR_FILE, folder.path() / "libe16sim.so");
        return ::dlopen((folder.path() / "Lintara.adc").c_str(), RTLD_NOW | RTLD_LOCAL);
    }();
    auto entry = reinterpret_cast<HRESULT (*)()>(library != nullptr ? ::dlsym(library, name) : nullptr);
    return entry != nullptr ? entry() : E_FAIL;
}

// CLSIDFromProgID + CoCreateInstance.
inline ComPtr<IADC3> CreateAdc() {
    CLSID clsid{};
    ComPtr<IADC3> adc;
    EXPECT_EQ(CLSIDFromProgID(PROGID_Lintara, &clsid), S_OK);
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IADC3, adc.put_void()), S_OK);
    if (!adc) std::exit(3); // nothing can follow; the test's parent reports it
    return adc;
}
// A driver that has detected the module the address list preselects.
inline ComPtr<IADC3> DetectedAdc() {
    ComPtr<IADC3> adc = CreateAdc();
    EXPECT_TRUE(Ask(adc.get(), &IADC3::Test));
    EXPECT_NE(Get(adc.get(), &IADC3::get_BasePort), 0);
    return adc;
}
inline void Select(IADC3* adc, const std::vector<int16_t>& channels) { // InputChannels let
    SAFEARRAY* table = Int16Vector(channels);
    EXPECT_EQ(adc->put_InputChannels(&table), S_OK);
    SafeArrayDestroy(table);
}

// A key of the private store, closed with this object; 0 when missing.
struct Key {
    reg::HKEY key = 0;
    Key(reg::HKEY root, const std::string& path, bool create = false) {
        create ? reg::RegCreateKeyEx(root, path.c_str(), reg::KEY_ALL_ACCESS, &key, nullptr)
               : reg::RegOpenKeyEx(root, path.c_str(), reg::KEY_READ, &key);
    }
    ~Key() { reg::RegCloseKey(key); }
};

inline int CountThreads() {
    return static_cast<int>(
        std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator()));
}
// Runs `body` in a fresh process of this program with a private store, the
// driver registered, the simulator at power-on and no address list; checks
// that it leaves no driver object and no thread behind.
inline void RunFresh(void (*body)()) {
    if (std::getenv("E2E_FRESH") == nullptr) { // run the current test alone in a new process
        PrivateStore store;
        ScopedEnv fresh("E2E_FRESH", "1");
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        const Ran ran =
            RunCommand("'" + fs::read_symlink("/proc/self/exe").string() +
                           "' --gtest_brief=1 --gtest_filter=" + test->test_suite_name() + "." + test->name(),
                       store.dir().path());
        EXPECT_EQ(ran.exit, 0) << "the test failed in its own process:\n" << ran.out << ran.err;
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

} // namespace e2e

// clang-format off
#define HOST_TEST(Suite, Name)                                                     \
    void Suite##_##Name##_Body();                                                  \
    TEST(Suite, Name) { e2e::RunFresh(Suite##_##Name##_Body); }                    \
    void Suite##_##Name##_Body()
// clang-format on
