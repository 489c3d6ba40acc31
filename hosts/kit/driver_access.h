// How a host finds and creates the Lintara driver through the component
// runtime: the driver beside the program is the one it goes with, registered
// when the store names none, another one or one that is gone. Public headers only.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <velmora/com_ptr.h>
#include <velmora/interfaces.h>

#include "channel_table.h"
#include "module_info.h"

namespace velmora::hosts {

// The driver this program goes with: beside it in the build folder,
// ../lib/velmora/ once installed; empty when neither holds one.
std::filesystem::path DriverBeside();
// The library the store registers for the driver's class; empty when none.
std::string RegisteredDriver();

// Registers the driver library at `path` as comrt-register would (its own
// DllRegisterServer); false with `error` set.
bool RegisterDriver(const std::filesystem::path& path, std::string& error);
// What a host says before it registers `beside` in place of `registered`
// (another driver, or one that is gone); empty when the store names none.
std::string ReplacedDriverNote(const std::string& registered, const std::filesystem::path& beside);
// Creates the driver by its ProgID as it is registered now; null with
// `error` set ("cannot create Velmora.Lintara: ...") when it cannot.
ComPtr<IADC3> CreateByProgId(std::string& error);
// Both name one file (links and relative names resolved); false for an empty name.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// Creates the driver by its ProgID, registering the one beside first when the
// store names another (a line on `notes`, prefixed by `program`, says so).
// Null with `error` set when it cannot be created.
ComPtr<IADC3> CreateDriver(const char* program, std::string& error, std::FILE* notes = stderr);

// A new 1-D array of Integers (VT_I2, lower bound 0) holding `values`, as
// InputChannels takes it; null when out of memory.
SAFEARRAY* Int16Array(const std::vector<int16_t>& values);
// The elements of a 1-D Integer array the driver handed over, which is destroyed.
std::vector<int16_t> TakeInt16s(SAFEARRAY* array);

// "0x80004005" and the like.
std::string HresultHex(HRESULT hr);
// A system code's first sentence, one line: "The registry is corrupted";
// "error N" for a code that has no text.
std::string SystemText(uint32_t code);
// A system code's text, which says more than its number, with the number
// after it for a search: "The registry is corrupted (0x800703F7)". Other
// codes: the number.
std::string HresultText(HRESULT hr);
// What a user does about a store the system code says is corrupted: "; move
// FOLDER aside ..."; "" for any other code.
std::string StoreRemedy(uint32_t code);

} // namespace velmora::hosts
