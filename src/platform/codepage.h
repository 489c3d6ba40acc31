// The system's single-byte code page, which is ISO-8859-1 here: bytes 0..255
// are U+0000..U+00FF and other characters become '?'. Pure functions.
#pragma once

#include <string>
#include <string_view>

namespace velmora::platform {

// UTF-16 (host strings) to and from single-byte text.
std::string ToAnsi(std::u16string_view text);
std::u16string FromAnsi(std::string_view bytes);

// UTF-8 (the driver's own strings) to and from single-byte text.
std::string Utf8ToAnsi(std::string_view utf8);
std::string AnsiToUtf8(std::string_view bytes);

// UTF-8 to and from UTF-16; malformed input becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view text);

} // namespace velmora::platform
