#pragma once

// Text helpers the front ends share with the core's readers: quoting what was typed in a
// message, blanks, and the locale's decimal separator. Not part of the installed API.
#include <string>
#include <string_view>

namespace veltrane::internal {

// A text to quote in a message: itself up to 32 characters, else its first 32 characters and
// "…", so that no message grows with what was typed or read. A character is a UTF-8 sequence,
// never cut apart.
std::string elided(std::string_view text);

// Blank characters around and between numbers: space, tab, carriage return, vertical tab,
// form feed.
bool isBlank(char c);
std::string_view trimBlanks(std::string_view text);

// True when the text spells a number by the grammar above that lies beyond the single range.
bool tooLargeForSingle(std::string_view text, std::string_view localeSeparator);

// The decimal separator of the C library's current LC_NUMERIC locale, as UTF-8.
std::string cLocaleDecimalSeparator();

} // namespace veltrane::internal
