#include "BreakPoints.h"

#include <array>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <istream>
#include <locale.h>

namespace veltrane {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
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

// The text in the C locale's spelling ("-12.5e3") when it follows the grammar, or nullopt.
std::optional<std::string> normalise(std::string_view s, std::string_view localeSeparator) {
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
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        out += 'e';
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            out += s[i++];
        }
        const std::size_t exponentStart = i;
        while (i < s.size() && isDigit(s[i])) {
            out += s[i++];
        }
        if (i == exponentStart) {
            return std::nullopt;
        }
    }
    if (i != s.size()) {
        return std::nullopt;
    }
    return out;
}

// strtod_l in the C locale rounds correctly, gives subnormals and zero for tiny magnitudes and
// an infinity for huge ones, whatever the user's locale says about separators.
locale_t cLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t{});
    return locale;
}

std::string shortestText(double value) {
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

std::string describe(std::size_t index, const std::string& text) {
    return "break point " + std::to_string(index + 1) + " (" + text + ")";
}

// The checks of checkBreakPoints, naming each value by textOf(i).
template <typename TextOf>
void checkValues(const std::vector<double>& values, const TextOf& textOf) {
    if (values.empty()) {
        throw BreakPointError("no break points given");
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double b = values[i];
        if (!std::isfinite(b)) {
            throw BreakPointError(describe(i, textOf(i)) + " is not a finite number");
        }
        if (!(b > 0.0 && b < 1.0)) {
            throw BreakPointError(describe(i, textOf(i)) + " must lie strictly inside (0, 1)");
        }
        if (i > 0 && !(b > values[i - 1])) {
            throw BreakPointError(describe(i, textOf(i)) + " must be greater than " +
                                  describe(i - 1, textOf(i - 1)));
        }
    }
}

} // namespace

std::optional<double> textToDouble(std::string_view text, std::string_view localeSeparator) {
    const auto spelled = normalise(trimBlanks(text), localeSeparator);
    if (!spelled) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double value = strtod_l(spelled->c_str(), &end, cLocale());
    if (end != spelled->c_str() + spelled->size() || std::isinf(value)) {
        return std::nullopt;
    }
    return value;
}

void checkBreakPoints(const std::vector<double>& breakPoints) {
    checkValues(breakPoints, [&](std::size_t i) { return shortestText(breakPoints[i]); });
}

std::vector<double> parseBreakPoints(const std::vector<std::string>& texts,
                                     std::string_view localeSeparator) {
    std::vector<double> values;
    values.reserve(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const auto value = textToDouble(texts[i], localeSeparator);
        if (!value) {
            throw BreakPointError(describe(i, "\"" + texts[i] + "\"") + " is not a number");
        }
        values.push_back(*value);
    }
    checkValues(values, [&](std::size_t i) { return texts[i]; });
    return values;
}

std::vector<double> readBreakPoints(std::istream& in, std::string_view localeSeparator) {
    std::vector<std::string> words;
    std::string line;
    for (long lineNumber = 1; std::getline(in, line); ++lineNumber) {
        std::string_view rest = line;
        while (!(rest = trimBlanks(rest)).empty()) {
            std::size_t length = 0;
            while (length < rest.size() && !isBlank(rest[length])) {
                ++length;
            }
            const std::string word(rest.substr(0, length));
            if (!textToDouble(word, localeSeparator)) {
                throw BreakPointError("line " + std::to_string(lineNumber) + ": \"" + word +
                                      "\" is not a number");
            }
            words.push_back(word);
            rest.remove_prefix(length);
        }
    }
    if (in.bad()) {
        throw BreakPointError("the input could not be read");
    }
    return parseBreakPoints(words, localeSeparator);
}

std::vector<double> branchExponents(const std::vector<double>& breakPoints) {
    checkBreakPoints(breakPoints);
    std::vector<double> exponents;
    exponents.reserve(breakPoints.size() + 1);
    for (std::size_t i = 0; i <= breakPoints.size(); ++i) {
        const double left = i == 0 ? 0.0 : breakPoints[i - 1];
        const double right = i == breakPoints.size() ? 1.0 : breakPoints[i];
        const double length = right - left;
        if (length > 0.5) {
            // 1 - right is exact here (right > 1/2), so the rest of the interval is known to
            // a rounding, and log1p keeps a tiny exponent accurate where ln(length) would not.
            const double rest = left + (1.0 - right);
            exponents.push_back(-std::log1p(-rest));
        } else {
            exponents.push_back(-std::log(length));
        }
    }
    return exponents;
}

} // namespace veltrane
