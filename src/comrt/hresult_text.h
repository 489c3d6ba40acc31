// Names and message texts of the HRESULT codes this runtime and its servers
// use, for messages meant for people. Pure functions; exported by libcomrt.so.
#pragma once

#include <velmora/com.h>

#include <string>

namespace velmora::com {

// "E_NOINTERFACE" and the like; empty for a code without a known name.
const char* HResultName(HRESULT hr);
// What the code means in words, without a closing period: the system's text
// for a named code or a Win32 code (FACILITY_WIN32); a general text for the rest.
std::string HResultMessage(HRESULT hr);
// "0x80004002 (E_NOINTERFACE): No such interface supported", or without the
// name when the code has none: never the bare number.
std::string HResultText(HRESULT hr);

} // namespace velmora::com
