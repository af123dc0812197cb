#include "BreakPoints.h"

#include "DecimalText.h"
#include "NumberText.h"

#include <cmath>
#include <istream>

namespace veltrane {

namespace {

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
    return decimalToDouble(text, localeSeparator);
}

void checkBreakPoints(const std::vector<double>& breakPoints) {
    checkValues(breakPoints, [&](std::size_t i) { return shortest(breakPoints[i]); });
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
