// English texts of the library's error codes. Pure lookup over constant
// tables: safe from any thread.
#pragma once

#include <cstdint>

namespace e16sim {

// Text of a code; unknown codes get a generic text, never null.
const char* errorText(int32_t code);

} // namespace e16sim
