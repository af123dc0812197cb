#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane {

// Input that cannot be read as what it should hold; the message says where and why.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads numbers written as text and separated by blanks and line ends, a piece at a time, so
// that no input, however long or broken, is held whole: a word may have at most 64
// characters, each of which can belong to a number (digits, signs, ".", the locale's
// separator, "e" or "E"), and there may be at most maxNumbers words. The first byte that
// breaks a rule is refused with its line and column ("line 2, column 7: ..."), quoting at
// most 32 characters of the text in question.
class NumberListReader {
public:
    // localeSeparator: the user's decimal separator, accepted beside ".". noun: what the
    // numbers are, for the message about too many ("break points").
    NumberListReader(std::string localeSeparator, std::size_t maxNumbers, std::string noun);

    // Throws InputError at the first byte that cannot be read.
    void feed(std::string_view bytes);

    // The words read, each spelling a number; throws InputError for a last word that does not.
    std::vector<std::string> finish();

private:
    void endWord();
    [[noreturn]] void refuse(std::size_t column, const std::string& why) const;

    std::string m_separator;
    std::size_t m_maxNumbers;
    std::string m_noun;
    std::vector<std::string> m_words;
    std::string m_word;
    std::size_t m_line = 1;
    std::size_t m_column = 0;
};

} // namespace veltrane
