// Numbers as text for VariantChangeType: parsing and formatting with '.' as
// the decimal point whatever the locale. Pure functions.
#pragma once

#include <velmora/com.h>

#include <string>

namespace velmora::com {

// A source value on its way to the target type.
struct Number {
    bool integral = true;
    int64_t i = 0;
    double d = 0;
    double AsDouble() const { return integral ? static_cast<double>(i) : d; }
};

// Numeric text with optional blanks around it; DISP_E_TYPEMISMATCH when it is
// no number, DISP_E_OVERFLOW when it is too large for a double.
HRESULT ParseNumber(BSTR text, Number* n);
// Decimal digits of an integer up to UINT64_MAX, blanks around allowed: the
// range that a double, with its 53-bit mantissa, cannot hold exactly.
bool ParseUnsigned64(BSTR text, uint64_t* value);
// "True"/"False" in any case, or a number (nonzero is true).
HRESULT ParseBool(BSTR text, VARIANT_BOOL* out);
// `digits` significant digits, exponent as "E+20".
std::string FormatReal(double value, int digits);
// Exact decimal text of a currency value (scaled by 10000).
std::string FormatCurrency(int64_t scaled);

} // namespace velmora::com
