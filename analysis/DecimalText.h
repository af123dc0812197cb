#pragma once

#include <optional>
#include <string_view>

namespace veltrane {

// Blank characters around and between numbers: space, tab, carriage return, vertical tab,
// form feed.
bool isBlank(char c);
std::string_view trimBlanks(std::string_view text);

// Numbers as the user types them, between optional blanks: an optional sign, decimal digits
// with at most one decimal separator (at least one digit in all), and an optional exponent
// "e"/"E" with an optional sign and at least one digit. The separator is "." and, in
// addition, localeSeparator (UTF-8, for instance ","). "nan", "inf", hexadecimal forms and
// thousands separators are not numbers here.
//
// Each conversion rounds the decimal value once, to nearest: magnitudes too small become a
// subnormal or zero, magnitudes too large for the type give nullopt, as does any text that
// does not follow the grammar.
std::optional<float> decimalToSingle(std::string_view text, std::string_view localeSeparator);
std::optional<double> decimalToDouble(std::string_view text, std::string_view localeSeparator);

// True when the text spells a number by the grammar above that lies beyond the single range.
bool tooLargeForSingle(std::string_view text, std::string_view localeSeparator);

} // namespace veltrane
