// Registration with the real comrt-register tool and creation through the
// store, against two small server libraries built next to this test.
#include "store_connection.h"
#include "test_component.h"
#include "test_support.h"

#include <velmora/com_ptr.h>
#include <velmora/server_registration.h>

#include <filesystem>
#include <fstream>

#include <gmock/gmock.h>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using velmora::test::Ran;

// {3C2B1A09-8F7E-4D6C-5B4A-39281706F5E4}: a class only the tests register by hand.
constexpr CLSID kHandMadeClass = {
    0x3C2B1A09, 0x8F7E, 0x4D6C, {0x5B, 0x4A, 0x39, 0x28, 0x17, 0x06, 0xF5, 0xE4}};
const fs::path kBin = fs::canonical("/proc/self/exe").parent_path();

std::string Quoted(const fs::path& path) {
    return std::string("'").append(path.string()).append("'"); // no false -Wrestrict at -O3
}

const std::string kComponent = Quoted(kBin / TEST_COMPONENT_FILE);

template <class Interface> HRESULT Create(const CLSID& clsid, const IID& iid, Interface** object) {
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(object));
}

class Activation : public testing::Test {
protected:
    Ran Register(const std::string& arguments) {
        return velmora::test::RunCommand(Quoted(kBin / "comrt-register") + " " + arguments,
                                         store.dir().path());
    }

    velmora::test::PrivateStore store;
};

TEST_F(Activation, ALockedStoreLeavesNothingRegistered) {
    CLSID clsid{};
    ASSERT_EQ(velmora::com::RegisterInprocServer(kHandMadeClass, "", "store made", "x.so"), S_OK);
    velmora::test::StoreConnection other;
    other.Lock();
    const Ran locked = Register(kComponent);
    other.Release();
    EXPECT_EQ(locked.exit, 1);
    EXPECT_THAT(locked.err,
                testing::HasSubstr("failed: 0x80070021: The process cannot access the file because "
                                   "another process has locked a portion of the file\n"));
    EXPECT_EQ(CLSIDFromProgID(u"Velmora.TestComponent", &clsid), CO_E_CLASSSTRING) << "registered in part";
}

TEST_F(Activation, ARegisteredClassIsCreatedByProgIdFromManyThreads) {
    CLSID clsid{};
    ASSERT_EQ(Register(kComponent).exit, 0);
    ASSERT_EQ(CLSIDFromProgID(u"Velmora.TestComponent", &clsid), S_OK); // another class fails every creation
    std::vector<std::thread> threads;
    std::vector<int32_t> sums(4, 0);
    for (int32_t& sum : sums) {
        threads.emplace_back([&sum, clsid] {
            for (int32_t k = 0; k < 20; ++k) {
                velmora::ComPtr<ICalculator> calculator;
                int32_t value = 0;
                if (Create(clsid, IID_ICalculator, calculator.put()) == S_OK &&
                    calculator->Add(k, 1, &value) == S_OK)
                    sum += value;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(sums, std::vector<int32_t>(4, 210)) << "a thread failed to create or call an object";
}

// A registered class's texts lead back to it: its braced CLSID, its ProgID
// where a CLSID text is taken, and the ProgID of its CLSID; the tool's -u
// takes the ProgID with the class (the class's own key going is the e2e
// Registration test's, through the same unregistration).
TEST_F(Activation, ARegisteredClassIsFoundByEachOfItsTextsUntilUnregistered) {
    ASSERT_EQ(Register(kComponent).exit, 0);
    LPOLESTR text = nullptr, progId = nullptr;
    ASSERT_EQ(StringFromCLSID(CLSID_TestComponent, &text), S_OK);
    const std::pair<std::u16string, HRESULT> cases[] = {
        {text, S_OK}, {u"Velmora.TestComponent", S_OK}, {u"Velmora.Missing", CO_E_CLASSSTRING}};
    CoTaskMemFree(text);
    for (const auto& [name, expected] : cases) {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromString(name.c_str(), &clsid), expected);
        EXPECT_TRUE(clsid == (expected == S_OK ? CLSID_TestComponent : CLSID_NULL));
    }
    ASSERT_EQ(ProgIDFromCLSID(CLSID_TestComponent, &progId), S_OK);
    EXPECT_EQ(std::u16string(progId), u"Velmora.TestComponent");
    CoTaskMemFree(progId);
    EXPECT_EQ(ProgIDFromCLSID(kHandMadeClass, &progId), REGDB_E_CLASSNOTREG);
    CLSID clsid{};
    ASSERT_EQ(Register("-u " + kComponent).exit, 0);
    EXPECT_EQ(CLSIDFromProgID(u"Velmora.TestComponent", &clsid), CO_E_CLASSSTRING) << "ProgID left behind";
}

// Every failed creation clears the out pointer.
TEST_F(Activation, EachFailedCreationHasItsOwnCode) {
    ASSERT_EQ(Register(kComponent).exit, 0);
    const auto failure = [](const CLSID& clsid, const IID& iid) {
        IUnknown* object = reinterpret_cast<IUnknown*>(1);
        const HRESULT hr = Create(clsid, iid, &object);
        EXPECT_EQ(object, nullptr) << "the out pointer was left set for " << std::hex << hr;
        return hr;
    };
    EXPECT_EQ(failure(CLSID_TestComponent, IID_IDispatch), E_NOINTERFACE) << "an interface the class lacks";
    EXPECT_EQ(failure(kHandMadeClass, IID_IUnknown), REGDB_E_CLASSNOTREG) << "not registered";
    const std::pair<fs::path, HRESULT> cases[] = {
        {store.dir().path() / "missing.so", CO_E_DLLNOTFOUND},
        {kBin / NO_FACTORY_SERVER_FILE, CO_E_ERRORINDLL},
        {kBin / TEST_COMPONENT_FILE, CLASS_E_CLASSNOTAVAILABLE}, // serves another class
    };
    for (const auto& [library, expected] : cases) {
        ASSERT_EQ(velmora::com::RegisterInprocServer(kHandMadeClass, "", "hand made", library.string()),
                  S_OK);
        EXPECT_EQ(failure(kHandMadeClass, IID_IUnknown), expected) << library;
    }
    EXPECT_EQ(CoCreateInstance(kHandMadeClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr),
              E_POINTER);
}

// A command line that names no one library, or a library that will not register.
TEST_F(Activation, TheToolRefusesWhatItCannotRegister) {
    for (const char* arguments : {"", "-x file.so", "a.so b.so", "-u"})
        EXPECT_EQ(Register(arguments).exit, 1) << "arguments: '" << arguments << "'";
    EXPECT_EQ(Register(Quoted(store.dir().path() / "absent.so")).exit, 1);
    const fs::path cyrillic = store.dir().path() / "\u041f\u0440\u0438\u0431\u043e\u0440",
                   broken = store.dir().path() / "broken";
    fs::create_directories(cyrillic);
    fs::copy_file(kBin / TEST_COMPONENT_FILE, cyrillic / TEST_COMPONENT_FILE);
    fs::create_directories(broken);
    std::ofstream(broken / "velmora") << "a file where the store's folder goes";
    // The library's own refusal; a path the store cannot keep, and a store
    // that cannot be written, said as such rather than as the library's.
    const std::pair<std::string, std::string> refusals[] = {
        {Quoted(kBin / NO_FACTORY_SERVER_FILE), "failed: 0x80070005 (E_ACCESSDENIED): Access is denied"},
        {Quoted(cyrillic / TEST_COMPONENT_FILE), "the registry store keeps paths in Latin-1"},
        {"--store " + Quoted(broken) + " " + kComponent,
         "comrt-register: the registry store " + (broken / "velmora/registry.db").string() +
             " cannot be written: The system cannot find the path specified.\n"}};
    for (const auto& [arguments, reason] : refusals) {
        const Ran refused = Register(arguments);
        EXPECT_EQ(refused.exit, 1) << arguments;
        EXPECT_THAT(refused.err, testing::HasSubstr(reason));
    }
}

// --store takes a folder relative to the working one, as any path; the store
// leaves the user's own alone.
TEST_F(Activation, TheToolsStoreFolderMayBeRelative) {
    const fs::path home = store.dir().path() / "home";
    const Ran ran =
        velmora::test::RunCommand("cd " + Quoted(store.dir().path()) + " && HOME=" + Quoted(home) + " " +
                                      Quoted(kBin / "comrt-register") + " --store relative " + kComponent,
                                  store.dir().path());
    EXPECT_EQ(ran.exit, 0) << ran.err;
    EXPECT_TRUE(fs::exists(store.dir().path() / "relative/velmora/registry.db"));
    EXPECT_FALSE(fs::exists(home)) << "registered in the user's own store";
}

} // namespace
