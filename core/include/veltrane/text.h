#pragma once

// Numbers as text: read as the user types them, written as the shortest text that reads back
// the same, and lists of numbers read a piece at a time with bounds on what they may hold.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include <veltrane/export.h>

namespace veltrane {

// The shortest text that reads back to the same value ("0.35667497", "-0", "1e-10").
VELTRANE_API std::string shortest(float value);
VELTRANE_API std::string shortest(double value);

// Numbers as the user types them, between optional blanks: an optional sign, decimal digits
// with at most one decimal separator (at least one digit in all), and an optional exponent
// "e"/"E" with an optional sign and at least one digit. The separator is "." and, in
// addition, localeSeparator (UTF-8, for instance ","). "nan", "inf", hexadecimal forms and
// thousands separators are not numbers here.
//
// Each conversion rounds the decimal value once, to nearest: magnitudes too small become a
// subnormal or zero, magnitudes too large for the type give nullopt, as does any text that
// does not follow the grammar.
VELTRANE_API std::optional<float> decimalToSingle(std::string_view text,
                                                  std::string_view localeSeparator);
VELTRANE_API std::optional<double> decimalToDouble(std::string_view text,
                                                   std::string_view localeSeparator);

// Reads numbers written as text and separated by blanks and line ends, a piece at a time, so
// that no input, however long or broken, is held whole: a word may have at most 64
// characters, each of which can belong to a number (digits, signs, ".", the locale's
// separator, "e" or "E"), and there may be at most maxNumbers words. The first byte that
// breaks a rule is refused with its line and column ("line 2, column 7: ..."), quoting at
// most 32 characters of the text in question.
class VELTRANE_API NumberListReader {
public:
    // localeSeparator: the user's decimal separator, accepted beside ".". noun: what the
    // numbers are, for the message about too many ("break points").
    NumberListReader(std::string localeSeparator, std::size_t maxNumbers, std::string noun);

    // Throws InputError at the first byte that cannot be read.
    void feed(std::string_view bytes);

    // The words read, each spelling a number; throws InputError for a last word that does not.
    std::vector<std::string> finish();

    // The words read since the last call, leaving the reader going on, for input taken a line
    // at a time: maxNumbers then bounds the words between two calls. A word not yet ended by a
    // blank or a line end stays for later.
    std::vector<std::string> takeWords();

private:
    VELTRANE_LOCAL void endWord();
    [[noreturn]] VELTRANE_LOCAL void refuse(std::size_t column, const std::string& why) const;

    std::string m_separator;
    std::size_t m_maxNumbers;
    std::string m_noun;
    std::vector<std::string> m_words;
    std::string m_word;
    std::size_t m_line = 1;
    std::size_t m_column = 0;
};

} // namespace veltrane
