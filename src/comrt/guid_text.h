// GUIDs as text, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with uppercase hex,
// and the single-byte (ISO-8859-1) text the registry store keeps. Pure functions.
#pragma once

#include <velmora/com.h>

#include <string>
#include <string_view>

namespace velmora::com {

std::string GuidToText(const GUID& guid);
// Accepts either case of hex digits; the braces are required.
bool TextToGuid(std::string_view text, GUID* guid);

// UTF-16 to ISO-8859-1 and back; characters above U+00FF become '?'.
std::string ToLatin1(std::u16string_view text);
std::u16string FromLatin1(std::string_view bytes);
// ISO-8859-1 to UTF-8 (file names) and back; false when the UTF-8 text is
// malformed or holds a character above U+00FF.
std::string Latin1ToUtf8(std::string_view bytes);
bool Utf8ToLatin1(std::string_view utf8, std::string* bytes);

} // namespace velmora::com
