// How a host finds and creates the Lintara driver through the component
// runtime: the driver beside the program is the one it goes with, registered
// when the store names none, another one or one that is gone; and which module
// library answered once the driver has run detection. Public headers only.
#pragma once

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <velmora/com_ptr.h>
#include <velmora/interfaces.h>

namespace velmora::hosts {

// The driver this program goes with: beside it in the build folder,
// ../lib/velmora/ once installed; empty when neither holds one.
std::filesystem::path DriverBeside();
// The library the store registers for the driver's class; empty when none.
std::string RegisteredDriver();

// Registers the driver library at `path` as comrt-register would (its own
// DllRegisterServer); false with `error` set.
bool RegisterDriver(const std::filesystem::path& path, std::string& error);
// Creates the driver by its ProgID as it is registered now.
HRESULT CreateByProgId(ComPtr<IADC3>& adc);
// Both name one file (links and relative names resolved); false for an empty name.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// Creates the driver by its ProgID, registering the one beside first when the
// store names another (a line on `notes`, prefixed by `program`, says so).
// Null with `error` set when it cannot be created.
ComPtr<IADC3> CreateDriver(const char* program, std::string& error, std::FILE* notes = stderr);

// Where the driver and its module library were loaded from, once the driver
// has run detection: "simulated module (PATH)" or "vendor library PATH".
std::string LoadedBackend();
// The folder of the loaded driver; empty before the driver is loaded.
std::filesystem::path DriverFolder();

// The dotted address of the module the driver opened, found as the entry of
// its address list (127.0.0.1 first) whose low 15 bits match BasePort; empty
// before Test or when no entry matches.
std::string ModuleAddress(IADC3* adc);

// A host string (a BSTR, or null for "") as UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf8(BSTR text);

// A new 1-D array of Integers (VT_I2, lower bound 0) holding `values`, as
// InputChannels takes it; null when out of memory.
SAFEARRAY* Int16Array(const std::vector<int16_t>& values);
// The elements of a 1-D Integer array the driver handed over, which is destroyed.
std::vector<int16_t> TakeInt16s(SAFEARRAY* array);

// The driver's worker waits on a module that went silent and says nothing, so
// a host ends a recording that brought no kadr for 5 s (plus one kadr's time).
bool SilentSince(std::chrono::steady_clock::time_point lastData, double rate);
// "no data for 5 s", with the driver's LastError after it when there is one.
std::string SilenceText(const std::string& lastError);

// "0x80004005" and the like.
std::string HresultHex(HRESULT hr);

} // namespace velmora::hosts
