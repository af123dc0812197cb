#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace veltrane {

// The platform's text-to-single conversion used for the input fields.
class TextToSingle {
public:
    virtual ~TextToSingle() = default;
    // The single nearest to the number the text spells, or nullopt when it is not a number
    // or lies beyond the single range.
    virtual std::optional<float> convert(std::string_view text) const = 0;
};

// Accepts, between optional blanks: an optional sign, decimal digits with at most one
// decimal separator (at least one digit in all), and an optional exponent "e"/"E" with an
// optional sign and at least one digit. The separator is "." and, in addition, the user's
// locale's own (given as UTF-8, for instance ","). "nan", "inf", hexadecimal forms and
// thousands separators are not numbers here. Magnitudes too small for a single round to the
// nearest single (a subnormal or zero); magnitudes too large are rejected.
class DecimalTextToSingle : public TextToSingle {
public:
    explicit DecimalTextToSingle(std::string localeSeparator = ".");
    std::optional<float> convert(std::string_view text) const override;

private:
    std::string m_localeSeparator;
};

// The decimal separator of the C library's current LC_NUMERIC locale, as UTF-8.
std::string cLocaleDecimalSeparator();

} // namespace veltrane
