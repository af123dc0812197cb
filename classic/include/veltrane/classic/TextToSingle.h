#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace veltrane::classic {

// The platform's text-to-single conversion used for the input fields.
class TextToSingle {
public:
    virtual ~TextToSingle() = default;
    // The single nearest to the number the text spells, or nullopt when it is not a number
    // or lies beyond the single range.
    virtual std::optional<float> convert(std::string_view text) const = 0;
    // Whether a text convert refuses is a number too large for a single, rather than none.
    virtual bool tooLarge(std::string_view text) const = 0;
};

// The field texts' numbers as decimalToSingle (DecimalText.h) spells and rounds them, with
// "." and the user's locale's separator (given as UTF-8, for instance ",").
class DecimalTextToSingle : public TextToSingle {
public:
    explicit DecimalTextToSingle(std::string localeSeparator = ".");
    std::optional<float> convert(std::string_view text) const override;
    bool tooLarge(std::string_view text) const override;

private:
    std::string m_localeSeparator;
};

} // namespace veltrane::classic
