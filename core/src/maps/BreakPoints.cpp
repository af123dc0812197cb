#include "LengthExponent.h"

#include <array>
#include <cmath>
#include <istream>
#include <veltrane/errors.h>
#include <veltrane/internal/text.h>
#include <veltrane/maps.h>
#include <veltrane/text.h>

namespace veltrane {

namespace {

std::string describe(std::size_t index, const std::string& text) {
    return "break point " + std::to_string(index + 1) + " (" + text + ")";
}

// The checks of checkBreakPoints, naming each value by textOf(i).
template <typename TextOf> void checkValues(std::span<const double> values, const TextOf& textOf) {
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

void checkBreakPoints(std::span<const double> breakPoints) {
    checkValues(breakPoints, [&](std::size_t i) { return shortest(breakPoints[i]); });
}

std::vector<double> parseBreakPoints(const std::vector<std::string>& texts,
                                     std::string_view localeSeparator) {
    std::vector<double> values;
    values.reserve(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const auto value = textToDouble(texts[i], localeSeparator);
        if (!value) {
            throw BreakPointError(describe(i, "\"" + internal::elided(texts[i]) + "\"") +
                                  " is not a number");
        }
        values.push_back(*value);
    }
    checkValues(values, [&](std::size_t i) { return internal::elided(texts[i]); });
    return values;
}

std::vector<double> readBreakPoints(std::istream& in, std::string_view localeSeparator) {
    NumberListReader reader(std::string(localeSeparator), kMostBreakPoints, "break points");
    std::array<char, 65536> chunk{};
    while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0) {
        reader.feed({chunk.data(), static_cast<std::size_t>(in.gcount())});
    }
    if (in.bad()) {
        throw BreakPointError("the input could not be read");
    }
    return parseBreakPoints(reader.finish(), localeSeparator);
}

std::vector<double> branchExponents(std::span<const double> breakPoints) {
    checkBreakPoints(breakPoints);
    std::vector<double> exponents;
    exponents.reserve(breakPoints.size() + 1);
    for (std::size_t i = 0; i <= breakPoints.size(); ++i) {
        const double left = i == 0 ? 0.0 : breakPoints[i - 1];
        const double right = i == breakPoints.size() ? 1.0 : breakPoints[i];
        exponents.push_back(lengthExponent(left, right));
    }
    return exponents;
}

} // namespace veltrane
