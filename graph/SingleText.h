#pragma once

#include <string>

namespace veltrane::graph {

// Decimal exponents, after rounding to seven significant digits, that are written in fixed
// notation: magnitudes from 0.0001 up to 9999999. Anything else, larger or smaller, is
// written in exponent form. These are the limits of the classic single-to-text conversion
// the range labels imitate, where 1234567 prints in full and 12345678 as 1.234568E+07.
inline constexpr int kFixedNotationMinExponent = -4;
inline constexpr int kFixedNotationMaxExponent = 6;

// The text of a single as the range labels show it: at most seven significant digits,
// rounded to nearest, no trailing zeros and no trailing decimal point; "0." before a
// fraction below 1; a minus sign for negative numbers only, so negative zero reads "0";
// exponent form outside the fixed range above, as in "1E+20", "-2E+19", "1.5E-05" (at least
// two exponent digits, always signed). The decimal separator is always ".", whatever the
// locale, as the rest of the labels is fixed English text. The non-finite values, which no
// analysis stores but a store could hold, read "Infinity", "-Infinity" and "NaN".
std::string singleText(float value);

} // namespace veltrane::graph
