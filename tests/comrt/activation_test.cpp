// Registration with the real comrt-register tool and creation through the
// store, against two small server libraries built next to this test.
#include "store_connection.h"
#include "test_component.h"
#include "test_support.h"

#include <velmora/com_ptr.h>
#include <velmora/server_registration.h>

#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

// {3C2B1A09-8F7E-4D6C-5B4A-39281706F5E4}: a class only the tests register by hand.
constexpr CLSID kHandMadeClass = {
    0x3C2B1A09, 0x8F7E, 0x4D6C, {0x5B, 0x4A, 0x39, 0x28, 0x17, 0x06, 0xF5, 0xE4}};
const fs::path kBin = fs::canonical("/proc/self/exe").parent_path();

std::string Quoted(const fs::path& path) {
    return std::string("'").append(path.string()).append("'"); // no false -Wrestrict at -O3
}

velmora::test::Ran Register(const velmora::test::PrivateStore& store, const std::string& arguments) {
    return velmora::test::RunCommand(Quoted(kBin / "comrt-register") + " " + arguments, store.dir().path());
}

template <class Interface> HRESULT Create(const CLSID& clsid, const IID& iid, Interface** object) {
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(object));
}

TEST(Activation, ALockedStoreLeavesNothingRegistered) {
    velmora::test::PrivateStore store;
    const std::string library = Quoted(kBin / TEST_COMPONENT_FILE);
    CLSID clsid{};
    ASSERT_EQ(velmora::com::RegisterInprocServer(kHandMadeClass, "", "store made", "x.so"), S_OK);
    velmora::test::StoreConnection other;
    other.Lock();
    const velmora::test::Ran locked = Register(store, library);
    other.Release();
    EXPECT_EQ(locked.exit, 1);
    EXPECT_NE(
        locked.err.find("failed: 0x80070021: The process cannot access the file because another process "
                        "has locked a portion of the file\n"),
        std::string::npos)
        << locked.err;
    EXPECT_EQ(CLSIDFromProgID(u"Velmora.TestComponent", &clsid), CO_E_CLASSSTRING) << "registered in part";
}

TEST(Activation, ARegisteredClassIsCreatedByProgIdFromManyThreads) {
    velmora::test::PrivateStore store;
    CLSID clsid{};
    ASSERT_EQ(Register(store, Quoted(kBin / TEST_COMPONENT_FILE)).exit, 0);
    ASSERT_EQ(CLSIDFromProgID(u"Velmora.TestComponent", &clsid), S_OK);
    EXPECT_TRUE(clsid == CLSID_TestComponent) << "the ProgID names another class";
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

TEST(Activation, AnInterfaceTheClassLacksFailsTheCreation) {
    velmora::test::PrivateStore store;
    ASSERT_EQ(Register(store, Quoted(kBin / TEST_COMPONENT_FILE)).exit, 0);
    IDispatch* dispatch = reinterpret_cast<IDispatch*>(1);
    EXPECT_EQ(Create(CLSID_TestComponent, IID_IDispatch, &dispatch), E_NOINTERFACE);
    EXPECT_EQ(dispatch, nullptr) << "a failed creation clears the out pointer";
}

TEST(Activation, UnregisteringRemovesTheClassWithItsProgId) {
    velmora::test::PrivateStore store;
    const std::string library = Quoted(kBin / TEST_COMPONENT_FILE);
    CLSID clsid{};
    ASSERT_EQ(Register(store, library).exit, 0);
    ASSERT_EQ(Register(store, "-u " + library).exit, 0);
    EXPECT_EQ(CLSIDFromProgID(u"Velmora.TestComponent", &clsid), CO_E_CLASSSTRING) << "ProgID left behind";
    velmora::ComPtr<ICalculator> calculator;
    EXPECT_EQ(Create(CLSID_TestComponent, IID_ICalculator, calculator.put()), REGDB_E_CLASSNOTREG);
}

TEST(Activation, BrokenRegistrationsGiveTheirOwnCodes) {
    velmora::test::PrivateStore store;
    const std::pair<fs::path, HRESULT> cases[] = {
        {store.dir().path() / "missing.so", CO_E_DLLNOTFOUND},
        {kBin / NO_FACTORY_SERVER_FILE, CO_E_ERRORINDLL},
        {kBin / TEST_COMPONENT_FILE, CLASS_E_CLASSNOTAVAILABLE}, // serves another class
    };
    velmora::ComPtr<IUnknown> object;
    EXPECT_EQ(Create(kHandMadeClass, IID_IUnknown, object.put()), REGDB_E_CLASSNOTREG) << "not registered";
    for (const auto& [library, expected] : cases) {
        ASSERT_EQ(velmora::com::RegisterInprocServer(kHandMadeClass, "", "hand made", library.string()),
                  S_OK);
        EXPECT_EQ(Create(kHandMadeClass, IID_IUnknown, object.put()), expected) << library;
    }
    EXPECT_EQ(CoCreateInstance(kHandMadeClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr),
              E_POINTER);
}

TEST(Activation, TheToolRefusesALibraryItCannotRegister) {
    velmora::test::PrivateStore store;
    EXPECT_EQ(Register(store, Quoted(store.dir().path() / "absent.so")).exit, 1);
    const velmora::test::Ran refused = Register(store, Quoted(kBin / NO_FACTORY_SERVER_FILE));
    EXPECT_EQ(refused.exit, 1);
    EXPECT_NE(refused.err.find("failed: 0x80070005 (E_ACCESSDENIED): Access is denied"), std::string::npos)
        << refused.err;
}

TEST(Activation, TheToolRefusesBadCommandLines) {
    velmora::test::PrivateStore store;
    for (const char* arguments : {"", "-x file.so", "a.so b.so", "-u"})
        EXPECT_EQ(Register(store, arguments).exit, 1) << "arguments: '" << arguments << "'";
}

} // namespace
