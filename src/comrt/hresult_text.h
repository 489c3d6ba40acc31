// Names of the HRESULT codes this runtime and its servers use, for messages
// meant for people. Pure functions; exported by libcomrt.so.
#pragma once

#include <velmora/com.h>

#include <string>

namespace velmora::com {

// "E_NOINTERFACE" and the like; empty for a code without a known name.
const char* HResultName(HRESULT hr);
// "0x80004002 (E_NOINTERFACE)", or just the hex when the code has no name.
std::string HResultText(HRESULT hr);

} // namespace velmora::com
