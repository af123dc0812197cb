#include <array>
#include <cstdio>
#include <veltrane/errors.h>
#include <veltrane/internal/text.h>
#include <veltrane/text.h>

namespace veltrane {

namespace {

constexpr std::size_t kLongestNumber = 64;

bool belongsToANumber(char c) {
    return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E';
}

std::string described(char c) {
    if (c > ' ' && c < 127) {
        return "\"" + std::string(1, c) + "\"";
    }
    std::array<char, 16> hex{};
    std::snprintf(hex.data(), hex.size(), "the byte 0x%02X", static_cast<unsigned char>(c));
    return hex.data();
}

} // namespace

NumberListReader::NumberListReader(std::string localeSeparator, std::size_t maxNumbers,
                                   std::string noun)
    : m_separator(std::move(localeSeparator)), m_maxNumbers(maxNumbers), m_noun(std::move(noun)) {}

void NumberListReader::refuse(std::size_t column, const std::string& why) const {
    throw InputError("line " + std::to_string(m_line) + ", column " + std::to_string(column) +
                     ": " + why);
}

void NumberListReader::endWord() {
    if (m_word.empty()) {
        return;
    }
    const std::size_t start = m_column - m_word.size();
    if (!decimalToDouble(m_word, m_separator)) {
        refuse(start, "\"" + internal::elided(m_word) + "\" is not a number");
    }
    if (m_words.size() == m_maxNumbers) {
        refuse(start, "more than " + std::to_string(m_maxNumbers) + " " + m_noun);
    }
    m_words.push_back(std::move(m_word));
    m_word.clear();
}

void NumberListReader::feed(std::string_view bytes) {
    for (const char c : bytes) {
        if (c == '\n' || internal::isBlank(c)) {
            ++m_column;
            endWord();
            if (c == '\n') {
                ++m_line;
                m_column = 0;
            }
            continue;
        }
        ++m_column;
        // A byte of the locale's separator may be any byte of a multibyte character.
        if (!belongsToANumber(c) && m_separator.find(c) == std::string::npos) {
            refuse(m_column, described(c) + " cannot be part of a number");
        }
        if (m_word.size() == kLongestNumber) {
            refuse(m_column,
                   "a number is at most " + std::to_string(kLongestNumber) + " characters long");
        }
        m_word += c;
    }
}

std::vector<std::string> NumberListReader::finish() {
    ++m_column;
    endWord();
    return std::move(m_words);
}

std::vector<std::string> NumberListReader::takeWords() {
    std::vector<std::string> words;
    words.swap(m_words);
    return words;
}

} // namespace veltrane
