#include "comrt/number_text.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace velmora::com {
namespace {

// ASCII text of a BSTR without surrounding blanks; false for other characters.
bool TrimmedAscii(BSTR text, std::string* out) {
    const UINT length = SysStringLen(text);
    out->clear();
    for (UINT k = 0; k < length; ++k) {
        if (text[k] > 0x7F) return false;
        out->push_back(static_cast<char>(text[k]));
    }
    const auto first = out->find_first_not_of(" \t");
    const auto last = out->find_last_not_of(" \t");
    *out = first == std::string::npos ? std::string() : out->substr(first, last - first + 1);
    return true;
}

} // namespace

HRESULT ParseNumber(BSTR text, Number* n) {
    std::string s;
    if (!TrimmedAscii(text, &s) || s.empty()) return DISP_E_TYPEMISMATCH;
    if (s.find_first_not_of("0123456789.eE+-") != std::string::npos) return DISP_E_TYPEMISMATCH;
    // from_chars takes a minus sign but no plus sign.
    const size_t skip = (s[0] == '+' && s.size() > 1 && s[1] != '-') ? 1 : 0;
    const char* begin = s.data() + skip;
    const char* end = s.data() + s.size();
    auto [ip, iec] = std::from_chars(begin, end, n->i);
    if (iec == std::errc{} && ip == end) {
        n->integral = true;
        return S_OK;
    }
    auto [dp, dec] = std::from_chars(begin, end, n->d);
    if (dp != end || dec == std::errc::invalid_argument) return DISP_E_TYPEMISMATCH;
    if (dec == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
    n->integral = false;
    return S_OK;
}

bool ParseUnsigned64(BSTR text, uint64_t* value) {
    std::string s;
    if (!TrimmedAscii(text, &s) || s.empty()) return false;
    const size_t skip = s[0] == '+' ? 1 : 0;
    const auto [end, ec] = std::from_chars(s.data() + skip, s.data() + s.size(), *value);
    return ec == std::errc{} && end == s.data() + s.size();
}

HRESULT ParseBool(BSTR text, VARIANT_BOOL* out) {
    std::string s;
    if (TrimmedAscii(text, &s)) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (s == "true" || s == "false") {
            *out = (s == "true") ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        }
    }
    Number n;
    const HRESULT hr = ParseNumber(text, &n);
    if (SUCCEEDED(hr)) *out = (n.integral ? n.i != 0 : n.d != 0) ? VARIANT_TRUE : VARIANT_FALSE;
    return hr;
}

std::string FormatReal(double value, int digits) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::general, digits);
    std::string text(buffer, result.ptr);
    for (char& c : text) c = (c == 'e') ? 'E' : c;
    return text;
}

// Exact decimal text of a currency value, without trailing zeros.
std::string FormatCurrency(int64_t scaled) {
    const bool negative = scaled < 0;
    // Through unsigned arithmetic so that INT64_MIN has a magnitude too.
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
    std::string text = negative ? "-" : "";
    text += std::to_string(magnitude / 10000);
    std::string fraction = std::to_string(10000 + magnitude % 10000).substr(1);
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    return fraction.empty() ? text : text + "." + fraction;
}

} // namespace velmora::com
