// The test host: what a host program does with the driver, through the
// public headers, libcomrt.so and the simulator's control API only. A driver
// folder per process (symbolic links to the built driver and simulator), the
// driver registered in the test's private store and created by its ProgID.
#pragma once

#include <velmora/interfaces.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;

// An owned interface pointer.
template <typename T> class Ptr {
public:
    Ptr() = default;
    explicit Ptr(T* p) : p_(p) {}
    Ptr(const Ptr&) = delete;
    Ptr& operator=(const Ptr&) = delete;
    Ptr(Ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    Ptr& operator=(Ptr&& other) noexcept {
        Reset();
        p_ = std::exchange(other.p_, nullptr);
        return *this;
    }
    ~Ptr() { Reset(); }
    void Reset() {
        if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T** out() {
        Reset();
        return &p_;
    }
    void** outVoid() { return reinterpret_cast<void**>(out()); }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// An owned VARIANT.
class Variant {
public:
    Variant() { VariantInit(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&v_); }
    VARIANT* operator&() { return &v_; }
    const VARIANT& operator*() const { return v_; }
    const VARIANT* operator->() const { return &v_; }

private:
    VARIANT v_;
};

// Argument VARIANTs (the caller keeps what they point at).
VARIANT I2(int16_t value);
VARIANT I4(int32_t value);
VARIANT R4(float value);
VARIANT R8(double value);
VARIANT Text(const std::u16string& text); // owns a BSTR: VariantClear it
VARIANT RefI2(int16_t* value);
VARIANT RefI4(int32_t* value);
VARIANT RefR8(double* value);
VARIANT ArrayOf(SAFEARRAY* array);   // VT_ARRAY | element type
VARIANT RefArray(SAFEARRAY** array); // VT_BYREF | VT_ARRAY | element type

// Host strings.
std::u16string Str(BSTR text);
std::string Utf8(BSTR text);
std::string Utf8(const std::u16string& text);

// Host arrays.
SAFEARRAY* Int16Vector(const std::vector<int16_t>& values, LONG lowerBound = 0);
SAFEARRAY* Int32Vector(const std::vector<int32_t>& values, LONG lowerBound = 0);
std::vector<int16_t> Int16Elements(SAFEARRAY* array);
std::vector<std::u16string> StringElements(SAFEARRAY* array);

// Calls through IDispatch, arguments in natural order.
class Dispatcher {
public:
    explicit Dispatcher(IDispatch* target) : target_(target) {}
    DISPID Id(const std::u16string& name) const;
    HRESULT Invoke(DISPID id, WORD flags, std::vector<VARIANT> args, VARIANT* result,
                   UINT* argErr = nullptr) const;
    HRESULT Get(const std::u16string& name, VARIANT* result, std::vector<VARIANT> args = {}) const;
    HRESULT Call(const std::u16string& name, VARIANT* result, std::vector<VARIANT> args = {}) const;
    // args: the index arguments, then the value.
    HRESULT Put(const std::u16string& name, std::vector<VARIANT> args) const;

private:
    IDispatch* target_;
};

// The folder the driver is loaded from in this process: a temporary folder
// of symbolic links, or the one named by E2E_DRIVER_FOLDER (child processes).
const fs::path& DriverFolder();
// Makes a folder holding links to the built driver and simulator.
void LinkDriverInto(const fs::path& folder);
// Writes the address list of the driver folder ("" removes it).
void WriteAddressList(const std::string& text);

// DllRegisterServer / DllUnregisterServer of the folder's driver, called
// directly as comrt-register would.
HRESULT RegisterDriver();
HRESULT UnregisterDriver();
// An entry point of the loaded driver (null when it is not exported).
void* DriverSymbol(const char* name);

// CLSIDFromProgID + CoCreateInstance.
HRESULT CreateDriver(REFIID riid, void** object);
Ptr<IADC3> CreateAdc();

// Threads of this process (/proc/self/task).
int CountThreads();
// Waits up to a second for the count to fall back to `expected`.
int SettleThreads(int expected);

// Registry store of the current user (libcomrt's store).
bool SetBinary(const std::string& key, const std::string& name, const std::vector<uint8_t>& bytes);
bool SetDword(const std::string& key, const std::string& name, uint32_t value);
bool ReadBinary(const std::string& key, const std::string& name, std::vector<uint8_t>* bytes);
bool ReadDword(const std::string& key, const std::string& name, uint32_t* value);
bool DeleteValue(const std::string& key, const std::string& name);
std::string ReadClassesText(const std::string& key, const std::string& name);
bool ClassesKeyExists(const std::string& key);

inline constexpr char kSettingsKey[] = "Software\\Tervan\\ADC\\L-Card\\E16";
inline constexpr char kModuleKey[] = "Software\\Tervan\\ADC\\L-Card\\E16\\SIM0001";
// The channel table with logical channel 31 on Y16 against ground (the frame
// ramp), every other channel k on its identity entry.
std::vector<uint8_t> RampChannelTable();

// Runs this program again in child mode (`--e2e-child=NAME`) with the given
// extra environment; returns its exit status and standard output.
struct ChildResult {
    int status = -1;
    std::string output;
};
ChildResult RunChild(const std::string& name,
                     const std::vector<std::pair<std::string, std::string>>& env = {});
// The child procedures, by name; 0 on success. Output on stdout.
int RunChildProcedure(const std::string& name);

} // namespace e2e
