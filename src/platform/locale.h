// The user's locale as the driver needs it, read from the environment without
// changing the process locale. Thread-safe.
#pragma once

#include <string>

namespace velmora::platform {

// The decimal separator of LC_ALL / LC_NUMERIC / LANG ("." or ",").
std::string DecimalSeparator();
// The character set of LC_ALL / LC_CTYPE / LANG as nl_langinfo(CODESET)
// names it ("UTF-8", "ANSI_X3.4-1968"...); for a locale not generated on
// this machine, the one its name says ("ru_RU.utf8": UTF-8; none: ASCII).
std::string Charset();
// The two-letter user-interface language of LC_ALL / LC_MESSAGES / LANG
// ("en" when unset or "C"/"POSIX").
std::string UiLanguage();

} // namespace velmora::platform
