#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <string>
#include <veltrane/internal/text.h>
#include <veltrane/text.h>

namespace veltrane {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Digits with at most one separator, at least one digit; appends them to out with "." as the
// separator and returns the length consumed, or nullopt.
std::optional<std::size_t> readMantissa(std::string_view s, std::string_view localeSeparator,
                                        std::string& out) {
    std::size_t i = 0;
    int digits = 0;
    bool separatorSeen = false;
    while (i < s.size()) {
        if (isDigit(s[i])) {
            out += s[i++];
            ++digits;
        } else if (!separatorSeen && s[i] == '.') {
            separatorSeen = true;
            out += '.';
            ++i;
        } else if (!separatorSeen && !localeSeparator.empty() &&
                   s.substr(i, localeSeparator.size()) == localeSeparator) {
            separatorSeen = true;
            out += '.';
            i += localeSeparator.size();
        } else {
            break;
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    return i;
}

// An optional exponent "e[+-]digits" at the start of s, appended to out; the length consumed,
// or nullopt when an "e" is not followed by digits.
std::optional<std::size_t> readExponent(std::string_view s, std::string& out) {
    if (s.empty() || (s[0] != 'e' && s[0] != 'E')) {
        return 0;
    }
    out += 'e';
    std::size_t i = 1;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        out += s[i++];
    }
    const std::size_t digitsStart = i;
    while (i < s.size() && isDigit(s[i])) {
        out += s[i++];
    }
    if (i == digitsStart) {
        return std::nullopt;
    }
    return i;
}

// The text in the C locale's spelling ("-12.5e3") when it follows the grammar, or nullopt.
std::optional<std::string> cSpelling(std::string_view text, std::string_view localeSeparator) {
    const std::string_view s = internal::trimBlanks(text);
    std::string out;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        out += s[i++];
    }
    const auto mantissa = readMantissa(s.substr(i), localeSeparator, out);
    if (!mantissa) {
        return std::nullopt;
    }
    i += *mantissa;
    const auto exponent = readExponent(s.substr(i), out);
    if (!exponent || i + *exponent != s.size()) {
        return std::nullopt;
    }
    return out;
}

// strtof_l and strtod_l in the C locale round correctly to nearest, subnormals included, and
// report overflow as an infinity, whatever the user's locale says about separators.
locale_t cLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t{});
    return locale;
}

// The value of a text that follows the grammar, an infinity when it lies beyond T's range, or
// nullopt when the text is no number at all.
template <typename T, typename Parse>
std::optional<T> parsed(std::string_view text, std::string_view localeSeparator, Parse parse) {
    const auto spelled = cSpelling(text, localeSeparator);
    if (!spelled) {
        return std::nullopt;
    }
    char* end = nullptr;
    const T value = parse(spelled->c_str(), &end, cLocale());
    if (end != spelled->c_str() + spelled->size()) {
        return std::nullopt;
    }
    return value;
}

template <typename T, typename Parse>
std::optional<T> convert(std::string_view text, std::string_view localeSeparator, Parse parse) {
    const auto value = parsed<T>(text, localeSeparator, parse);
    if (!value || std::isinf(*value)) {
        return std::nullopt;
    }
    return value;
}

} // namespace

bool internal::isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view internal::trimBlanks(std::string_view text) {
    while (!text.empty() && internal::isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && internal::isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<float> decimalToSingle(std::string_view text, std::string_view localeSeparator) {
    return convert<float>(text, localeSeparator, strtof_l);
}

bool internal::tooLargeForSingle(std::string_view text, std::string_view localeSeparator) {
    const auto value = parsed<float>(text, localeSeparator, strtof_l);
    return value && std::isinf(*value);
}

std::optional<double> decimalToDouble(std::string_view text, std::string_view localeSeparator) {
    return convert<double>(text, localeSeparator, strtod_l);
}

std::string internal::cLocaleDecimalSeparator() {
    const lconv* conv = std::localeconv();
    if (conv == nullptr || conv->decimal_point == nullptr || *conv->decimal_point == '\0') {
        return ".";
    }
    return conv->decimal_point;
}

} // namespace veltrane
