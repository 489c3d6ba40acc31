// Lookups of registered classes under HKEY_CLASSES_ROOT of the registry
// store: CLSID\{...}\InprocServer32, CLSID\{...}\ProgID and <ProgID>\CLSID.
// Thread-safe (the store is).
#pragma once

#include <velmora/com.h>

#include <string>

namespace velmora::com {

// The default text value of HKEY_CLASSES_ROOT\<path>, ISO-8859-1; false when
// the key or value is missing or not text.
bool ReadClassesRootText(const std::string& path, std::string* value);

// The library file of an in-process server as a UTF-8 path;
// REGDB_E_CLASSNOTREG when the class has none.
HRESULT InprocServerPath(const CLSID& clsid, std::string* path);
// CO_E_CLASSSTRING when the ProgID is unknown or names no valid CLSID.
HRESULT ClsidOfProgId(const std::string& progId, CLSID* clsid);

} // namespace velmora::com
