// Registration with the real comrt-register tool and creation through the
// store, against two small server libraries built next to this test.
#include "comrt/server_registration.h"
#include "settings/registry_store.h"
#include "test_component.h"
#include "test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using velmora::test::PrivateStore;

// {3C2B1A09-8F7E-4D6C-5B4A-39281706F5E4}: a class only the tests register by hand.
constexpr CLSID kHandMadeClass = {
    0x3C2B1A09, 0x8F7E, 0x4D6C, {0x5B, 0x4A, 0x39, 0x28, 0x17, 0x06, 0xF5, 0xE4}};

fs::path BinFolder() {
    return fs::canonical("/proc/self/exe").parent_path();
}

struct ToolResult {
    int exitCode = -1;
    std::string output;
};

class Activation : public ::testing::Test {
protected:
    ToolResult RunRegister(const std::string& arguments, const fs::path& folder = {}) {
        const fs::path log = store_.dir().path() / "tool.log";
        std::string command = "'" + (BinFolder() / "comrt-register").string() + "' " + arguments;
        if (!folder.empty()) command = "cd '" + folder.string() + "' && " + command;
        const int status = std::system((command + " >'" + log.string() + "' 2>&1").c_str());
        std::ifstream in(log);
        std::stringstream text;
        text << in.rdbuf();
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text.str()};
    }

    // Registers kHandMadeClass with this library path, bypassing any server.
    void RegisterByHand(const std::string& library) {
        ASSERT_EQ(velmora::com::RegisterInprocServer(kHandMadeClass, "", "hand made", library), S_OK);
    }

    HRESULT CreateHandMade() {
        IUnknown* object = nullptr;
        const HRESULT hr = CoCreateInstance(kHandMadeClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                            reinterpret_cast<void**>(&object));
        if (object != nullptr) object->Release();
        return hr;
    }

    static std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

    PrivateStore store_;
    const fs::path component_ = BinFolder() / TEST_COMPONENT_FILE;
    const fs::path noFactory_ = BinFolder() / NO_FACTORY_SERVER_FILE;
};

TEST_F(Activation, RegisteredByToolCreatedByProgIdAndUnregistered) {
    ToolResult registered = RunRegister(Quoted(component_));
    ASSERT_EQ(registered.exitCode, 0) << registered.output;
    EXPECT_NE(registered.output.find("succeeded"), std::string::npos) << registered.output;

    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"Velmora.TestComponent", &clsid), S_OK);
    EXPECT_TRUE(clsid == CLSID_TestComponent);
    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(clsid, &progId), S_OK);
    EXPECT_EQ(std::u16string(progId), u"Velmora.TestComponent");
    CoTaskMemFree(progId);

    ICalculator* first = nullptr;
    ICalculator* second = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_ICalculator, reinterpret_cast<void**>(&first)),
              S_OK);
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ICalculator,
                               reinterpret_cast<void**>(&second)),
              S_OK);
    int32_t value = 0;
    ASSERT_EQ(first->Add(40, 2, &value), S_OK);
    EXPECT_EQ(value, 42);
    BSTR description = nullptr;
    ASSERT_EQ(first->Describe(&description), S_OK);
    EXPECT_EQ(std::u16string(description, SysStringLen(description)), u"Velmora test calculator");
    SysFreeString(description); // allocated in the server, freed here
    ASSERT_EQ(first->LiveObjects(&value), S_OK);
    EXPECT_EQ(value, 2);
    EXPECT_EQ(second->Release(), 0u);
    first->LiveObjects(&value);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(first->Release(), 0u);

    IDispatch* dispatch = reinterpret_cast<IDispatch*>(1);
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(&dispatch)),
              E_NOINTERFACE);
    EXPECT_EQ(dispatch, nullptr);

    ToolResult unregistered = RunRegister("-u " + Quoted(component_));
    ASSERT_EQ(unregistered.exitCode, 0) << unregistered.output;
    EXPECT_EQ(CLSIDFromProgID(u"Velmora.TestComponent", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CoCreateInstance(CLSID_TestComponent, nullptr, CLSCTX_INPROC_SERVER, IID_ICalculator,
                               reinterpret_cast<void**>(&first)),
              REGDB_E_CLASSNOTREG);
}

TEST_F(Activation, RelativePathIsRegisteredAbsolute) {
    ToolResult result = RunRegister("./" + component_.filename().string(), BinFolder());
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find(component_.string()), std::string::npos) << result.output;
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromString(u"Velmora.TestComponent", &clsid), S_OK); // a ProgID is accepted too
    IUnknown* object = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    object->Release();
}

TEST_F(Activation, ThreadsCreateObjectsAtTheSameTime) {
    ASSERT_EQ(RunRegister(Quoted(component_)).exitCode, 0);
    std::vector<std::thread> threads;
    std::vector<int> created(4, 0);
    for (int& count : created) {
        threads.emplace_back([&count] {
            for (int k = 0; k < 20; ++k) {
                ICalculator* object = nullptr;
                if (SUCCEEDED(CoCreateInstance(CLSID_TestComponent, nullptr, CLSCTX_INPROC_SERVER,
                                               IID_ICalculator, reinterpret_cast<void**>(&object)))) {
                    ++count;
                    object->Release();
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(created, std::vector<int>(4, 20));
}

TEST_F(Activation, BrokenRegistrationsGiveTheirOwnCodes) {
    EXPECT_EQ(CreateHandMade(), REGDB_E_CLASSNOTREG);

    RegisterByHand((store_.dir().path() / "missing.so").string());
    EXPECT_EQ(CreateHandMade(), CO_E_DLLNOTFOUND);

    RegisterByHand(noFactory_.string());
    EXPECT_EQ(CreateHandMade(), CO_E_ERRORINDLL);

    const fs::path text = store_.dir().path() / "not-a-library.so";
    std::ofstream(text) << "plain text\n";
    RegisterByHand(text.string());
    EXPECT_EQ(CreateHandMade(), CO_E_ERRORINDLL);

    // A real server that does not serve this class says so itself.
    RegisterByHand(component_.string());
    EXPECT_EQ(CreateHandMade(), CLASS_E_CLASSNOTAVAILABLE);

    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(kHandMadeClass, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(kHandMadeClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr),
              E_POINTER);
    EXPECT_EQ(CoGetClassObject(kHandMadeClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, nullptr),
              E_INVALIDARG);
}

TEST_F(Activation, ProgIdWithBadClassTextIsAClassStringError) {
    namespace reg = velmora::reg;
    reg::HKEY key = 0;
    ASSERT_EQ(
        reg::RegCreateKeyEx(reg::HKEY_CLASSES_ROOT, "Velmora.Broken\\CLSID", reg::KEY_WRITE, &key, nullptr),
        reg::ERROR_SUCCESS);
    const char text[] = "{not-a-guid}";
    ASSERT_EQ(
        reg::RegSetValueEx(key, "", reg::REG_SZ, reinterpret_cast<const reg::BYTE*>(text), sizeof(text)),
        reg::ERROR_SUCCESS);
    reg::RegCloseKey(key);
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(u"Velmora.Broken", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(u"Velmora.Unknown", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(u"Velmora.Broken\\CLSID", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromString(u"Velmora.Unknown", &clsid), CO_E_CLASSSTRING);
}

TEST_F(Activation, UnregisteringLeavesAProgIdThatAnotherClassTookOver) {
    const std::string path = component_.string();
    ASSERT_EQ(velmora::com::RegisterInprocServer(CLSID_TestComponent, "Velmora.Shared", "first", path), S_OK);
    ASSERT_EQ(velmora::com::RegisterInprocServer(kHandMadeClass, "Velmora.Shared", "second", path), S_OK);
    ASSERT_EQ(velmora::com::UnregisterInprocServer(CLSID_TestComponent, "Velmora.Shared"), S_OK);
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"Velmora.Shared", &clsid), S_OK);
    EXPECT_TRUE(clsid == kHandMadeClass);
    ASSERT_EQ(velmora::com::UnregisterInprocServer(kHandMadeClass, "Velmora.Shared"), S_OK);
    EXPECT_EQ(CLSIDFromProgID(u"Velmora.Shared", &clsid), CO_E_CLASSSTRING);
    // Nothing left to remove is not an error.
    EXPECT_EQ(velmora::com::UnregisterInprocServer(kHandMadeClass, "Velmora.Shared"), S_OK);
}

TEST_F(Activation, ToolExplainsWhatWentWrong) {
    ToolResult missing = RunRegister(Quoted(store_.dir().path() / "absent.so"));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.output.find("file not found"), std::string::npos) << missing.output;

    const fs::path text = store_.dir().path() / "readme.txt";
    std::ofstream(text) << "not a library\n";
    ToolResult notLibrary = RunRegister(Quoted(text));
    EXPECT_EQ(notLibrary.exitCode, 1);
    EXPECT_NE(notLibrary.output.find("cannot load"), std::string::npos) << notLibrary.output;

    ToolResult refused = RunRegister(Quoted(noFactory_));
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.output.find("DllRegisterServer"), std::string::npos) << refused.output;
    EXPECT_NE(refused.output.find("0x80070005 (E_ACCESSDENIED)"), std::string::npos) << refused.output;

    ToolResult noEntry = RunRegister("-u " + Quoted(noFactory_));
    EXPECT_EQ(noEntry.exitCode, 1);
    EXPECT_NE(noEntry.output.find("entry point DllUnregisterServer was not found"), std::string::npos)
        << noEntry.output;

    for (const char* arguments : {"", "-x file.so", "a.so b.so", "-u"}) {
        ToolResult usage = RunRegister(arguments);
        EXPECT_EQ(usage.exitCode, 1) << arguments;
        EXPECT_NE(usage.output.find("Usage: comrt-register [-u] FILE"), std::string::npos) << arguments;
    }
}

} // namespace
