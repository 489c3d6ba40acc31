// What an in-process server's DllRegisterServer and DllUnregisterServer do:
// write or remove its class under HKEY_CLASSES_ROOT of the registry store.
// Exported by libcomrt.so for server libraries; thread-safe.
#pragma once

#include <velmora/com.h>

#include <string>
#include <string_view>

namespace velmora::com {

// Writes CLSID\{clsid} (default value: description), its InprocServer32
// (default value: libraryPath) and ProgID keys, and <progId>\CLSID, all in one
// store transaction. An empty progId registers the class alone.
// SELFREG_E_CLASS when the path or names have characters the store cannot
// keep; HRESULT_FROM_WIN32 of the store's code when it refuses the writes
// (nothing is then written).
HRESULT RegisterInprocServer(const CLSID& clsid, std::string_view progId, std::string_view description,
                             const std::string& libraryPath);
// Removes CLSID\{clsid} with everything below it, and <progId> if it still
// names this class. Keys already gone are not an error; a store failure gives
// HRESULT_FROM_WIN32 of its code.
HRESULT UnregisterInprocServer(const CLSID& clsid, std::string_view progId);

// The absolute path of the library (or program) holding `address`; empty
// when it cannot be found.
std::string LibraryPathOf(const void* address);

} // namespace velmora::com
