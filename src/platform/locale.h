// The user's locale as the driver needs it, read from the environment without
// changing the process locale. Thread-safe.
#pragma once

#include <string>

namespace velmora::platform {

// The decimal separator of LC_ALL / LC_NUMERIC / LANG ("." or ",").
std::string DecimalSeparator();
// The two-letter user-interface language of LC_ALL / LC_MESSAGES / LANG
// ("en" when unset or "C"/"POSIX").
std::string UiLanguage();

} // namespace velmora::platform
