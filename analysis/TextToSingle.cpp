#include "TextToSingle.h"

#include <cctype>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>

namespace veltrane {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// Rewrites the text into the C locale's spelling ("-12.5e3") when it follows the grammar,
// or returns nullopt.
std::optional<std::string> normalise(std::string_view s, std::string_view localeSeparator) {
    std::string out;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        out += s[i++];
    }
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
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        out += 'e';
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            out += s[i++];
        }
        int exponentDigits = 0;
        while (i < s.size() && isDigit(s[i])) {
            out += s[i++];
            ++exponentDigits;
        }
        if (exponentDigits == 0) {
            return std::nullopt;
        }
    }
    if (i != s.size()) {
        return std::nullopt;
    }
    return out;
}

// strtof_l in the C locale rounds correctly to nearest, subnormals included, and reports
// overflow as an infinity.
locale_t cLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t{});
    return locale;
}

} // namespace

DecimalTextToSingle::DecimalTextToSingle(std::string localeSeparator)
    : m_localeSeparator(std::move(localeSeparator)) {}

std::optional<float> DecimalTextToSingle::convert(std::string_view text) const {
    const auto spelled = normalise(trimBlanks(text), m_localeSeparator);
    if (!spelled) {
        return std::nullopt;
    }
    char* end = nullptr;
    const float value = strtof_l(spelled->c_str(), &end, cLocale());
    if (end != spelled->c_str() + spelled->size() || std::isinf(value)) {
        return std::nullopt;
    }
    return value;
}

std::string cLocaleDecimalSeparator() {
    const lconv* conv = std::localeconv();
    if (conv == nullptr || conv->decimal_point == nullptr || *conv->decimal_point == '\0') {
        return ".";
    }
    return conv->decimal_point;
}

} // namespace veltrane
