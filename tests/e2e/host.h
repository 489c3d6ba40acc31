// The test host: what a host program does with the driver, through the public
// headers, libcomrt.so (with its registry store) and the simulator's control
// API only. Every test runs in a fresh process of this program. Host thread only.
#pragma once

#include <gtest/gtest.h>
#include <velmora/com_ptr.h>
#include <velmora/interfaces.h>

#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "e16sim_control.h"
#include "test_support.h"

namespace e2e {

namespace fs = std::filesystem;

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

// An argument VARIANT holding `value` (a number or a pointer); the caller
// keeps what it points at.
template <typename T> VARIANT Arg(VARTYPE vt, T value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    std::memcpy(&v.llVal, &value, sizeof value);
    return v;
}
inline constexpr auto I2 = [](int16_t value) { return Arg(VT_I2, value); };
inline constexpr auto I4 = [](int32_t value) { return Arg(VT_I4, value); };
inline constexpr auto R8 = [](double value) { return Arg(VT_R8, value); };

// Takes a BSTR result: its text, the BSTR freed.
std::u16string Take(BSTR text);
SAFEARRAY* Int16Vector(const std::vector<int16_t>& values);
std::vector<int16_t> Int16Elements(SAFEARRAY* array);

// Calls through IDispatch, arguments in natural order; a let passes its
// value last, named DISPID_PROPERTYPUT.
class Dispatcher {
public:
    explicit Dispatcher(IDispatch* target) : target_(target) {}
    // A property get or a method call.
    HRESULT Get(const std::u16string& name, VARIANT* result, std::vector<VARIANT> args = {}) const {
        return Invoke(name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, std::move(args), result);
    }
    HRESULT Put(const std::u16string& name, std::vector<VARIANT> args) const {
        return Invoke(name, DISPATCH_PROPERTYPUT, std::move(args), nullptr);
    }

private:
    HRESULT Invoke(std::u16string name, WORD flags, std::vector<VARIANT> args, VARIANT* result) const;
    IDispatch* target_;
};

// The driver folder of this process: a temporary folder of links to the
// built driver and simulator, or the one E2E_DRIVER_FOLDER names.
const fs::path& DriverFolder();
void LinkDriverInto(const fs::path& folder);
// Writes the folder's address list.
void WriteAddressList(const std::string& text);
// Calls an entry point of the folder's driver: DllRegisterServer,
// DllUnregisterServer, DllCanUnloadNow.
HRESULT CallEntry(const char* name);

// CLSIDFromProgID + CoCreateInstance.
ComPtr<IADC3> CreateAdc();
// A driver that has detected the module the address list preselects: Test
// true, BasePort nonzero, LastError empty.
ComPtr<IADC3> DetectedAdc();
std::u16string LastError(IADC3* adc);
void Select(IADC3* adc, const std::vector<int16_t>& channels); // InputChannels let

// Values of the private store under HKEY_CURRENT_USER, or HKEY_CLASSES_ROOT
// when `classes`; a missing value reads as empty.
bool SetValue(const std::string& key, const std::string& name, uint32_t type, const std::string& data);
std::string ReadValue(const std::string& key, const std::string& name, bool classes = false);
bool KeyExists(const std::string& classesKey);
void DeleteValue(const std::string& key, const std::string& name);

inline constexpr char kSettingsKey[] = "Software\\Tervan\\ADC\\L-Card\\E16";
inline constexpr char kModuleKey[] = "Software\\Tervan\\ADC\\L-Card\\E16\\SIM0001";
inline constexpr uint32_t kRegBinary = 3, kRegDword = 4;
// A channel table ("ADChannels"): entry k = k (XY k+1), but for the changes
// {logical, source | 32 when single-ended}.
std::string ChannelTable(std::initializer_list<std::pair<int, int>> changes);

// The phase this process runs: "" unless RunPhase started it.
std::string Phase();
// Runs the current test again in a new process, in `phase`, with the store
// and environment of this one; its exit status.
int RunPhase(const char* phase);
// Runs `body` in a fresh process of this program with a private store, the
// driver registered, the simulator at power-on and no address list; checks
// that it leaves no driver object and no thread behind.
void RunFresh(void (*body)());

} // namespace e2e

// clang-format off
#define HOST_TEST(Suite, Name)                                                     \
    void Suite##_##Name##_Body();                                                  \
    TEST(Suite, Name) { e2e::RunFresh(Suite##_##Name##_Body); }                    \
    void Suite##_##Name##_Body()
// clang-format on
