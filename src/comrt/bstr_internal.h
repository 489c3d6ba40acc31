// BSTR helpers the runtime shares between its parts. Pure functions.
#pragma once

#include <velmora/com.h>

namespace velmora::com {

// A new BSTR with the same bytes (embedded NULs and odd lengths included);
// null for a null source or when memory runs out.
BSTR CopyBstr(BSTR s);

} // namespace velmora::com
