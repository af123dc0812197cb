#include "SingleText.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace veltrane::graph {

namespace {

constexpr int kSignificantDigits = 7;

// The seven significant digits of |value|, trailing zeros removed, and the decimal exponent
// of the first one, both after rounding (9999999.5 gives "1" and 7).
struct Decimal {
    std::string digits;
    int exponent = 0;
};

Decimal roundedDecimal(float magnitude) {
    std::array<char, 32> buffer{};
    // The single converts to double exactly, so this rounds the single's own value once.
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), static_cast<double>(magnitude),
                      std::chars_format::scientific, kSignificantDigits - 1);
    const std::string_view text(buffer.data(),
                                static_cast<std::size_t>(result.ptr - buffer.data()));
    const std::size_t e = text.find('e');
    Decimal decimal;
    decimal.digits = std::string(1, text[0]) + std::string(text.substr(2, e - 2));
    while (decimal.digits.size() > 1 && decimal.digits.back() == '0') {
        decimal.digits.pop_back();
    }
    std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(),
                    decimal.exponent);
    return decimal;
}

std::string fixedNotation(const Decimal& d) {
    if (d.exponent < 0) {
        return "0." + std::string(static_cast<std::size_t>(-d.exponent - 1), '0') + d.digits;
    }
    const auto integerDigits = static_cast<std::size_t>(d.exponent) + 1;
    if (d.digits.size() <= integerDigits) {
        return d.digits + std::string(integerDigits - d.digits.size(), '0');
    }
    return d.digits.substr(0, integerDigits) + "." + d.digits.substr(integerDigits);
}

std::string exponentNotation(const Decimal& d) {
    std::string text(1, d.digits[0]);
    if (d.digits.size() > 1) {
        text += "." + d.digits.substr(1);
    }
    const int magnitude = std::abs(d.exponent);
    text += d.exponent < 0 ? "E-" : "E+";
    if (magnitude < 10) {
        text += '0';
    }
    return text + std::to_string(magnitude);
}

} // namespace

std::string singleText(float value) {
    if (std::isnan(value)) {
        return "NaN";
    }
    if (std::isinf(value)) {
        return value < 0.0F ? "-Infinity" : "Infinity";
    }
    if (value == 0.0F) {
        return "0"; // both zeros
    }
    const Decimal d = roundedDecimal(std::fabs(value));
    const bool fixed =
        d.exponent >= kFixedNotationMinExponent && d.exponent <= kFixedNotationMaxExponent;
    return (value < 0.0F ? "-" : "") + (fixed ? fixedNotation(d) : exponentNotation(d));
}

} // namespace veltrane::graph
