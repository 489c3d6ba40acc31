#include "platform/locale.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <langinfo.h>
#include <locale.h>
#include <string_view>

namespace velmora::platform {
namespace {

// The first non-empty of the variables, in POSIX precedence order.
std::string LocaleName(std::initializer_list<const char*> vars) {
    for (const char* var : vars) {
        const char* value = std::getenv(var);
        if (value != nullptr && *value != '\0') return value;
    }
    return "C";
}

std::string Language(const std::string& name) {
    std::string lang;
    for (char c : name) {
        if (!std::isalpha(static_cast<unsigned char>(c))) break;
        lang += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return lang;
}

// Used when the named locale is not generated on this machine.
std::string SeparatorByLanguage(const std::string& name) {
    static constexpr std::string_view kComma[] = {
        "be", "bg", "cs", "da", "de", "el", "es", "et", "fi", "fr", "hr", "hu", "id", "it", "kk", "lt",
        "lv", "nb", "nl", "nn", "no", "pl", "pt", "ro", "ru", "sk", "sl", "sr", "sv", "tr", "uk", "vi"};
    const std::string lang = Language(name);
    return std::find(std::begin(kComma), std::end(kComma), lang) != std::end(kComma) ? "," : ".";
}

// "ru_RU.KOI8-R@x": KOI8-R; any spelling of UTF-8 as nl_langinfo gives it.
std::string CharsetByName(const std::string& name) {
    const auto dot = name.find('.');
    if (dot == std::string::npos) return "ANSI_X3.4-1968"; // C's, and a name's without one
    const std::string codeset = name.substr(dot + 1, name.find('@', dot) - dot - 1);
    std::string folded;
    for (char c : codeset)
        if (std::isalnum(static_cast<unsigned char>(c))) folded += static_cast<char>(std::tolower(c));
    return folded == "utf8" ? "UTF-8" : codeset;
}

// `item` of the locale the first set variable names, read without setting it;
// `byName(name)` when that locale is not generated on this machine.
std::string LangInfo(std::initializer_list<const char*> vars, int mask, nl_item item,
                     std::string (*byName)(const std::string&)) {
    const std::string name = LocaleName(vars);
    locale_t loc = ::newlocale(mask, name.c_str(), static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr)) return byName(name);
    std::string value = ::nl_langinfo_l(item, loc);
    ::freelocale(loc);
    return value;
}

} // namespace

std::string Charset() {
    return LangInfo({"LC_ALL", "LC_CTYPE", "LANG"}, LC_CTYPE_MASK, CODESET, CharsetByName);
}

std::string DecimalSeparator() {
    const std::string separator =
        LangInfo({"LC_ALL", "LC_NUMERIC", "LANG"}, LC_NUMERIC_MASK, RADIXCHAR, SeparatorByLanguage);
    return separator.empty() ? "." : separator;
}

std::string UiLanguage() {
    const std::string lang = Language(LocaleName({"LC_ALL", "LC_MESSAGES", "LANG"}));
    return lang.empty() || lang == "c" || lang == "posix" ? "en" : lang;
}

} // namespace velmora::platform
